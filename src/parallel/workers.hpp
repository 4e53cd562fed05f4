// Running the pieces of one job at once, one thread per CPU the process may run on.
#pragma once

#include <cstddef>
#include <functional>

namespace textsift {

// How many CPUs this process may run on: its affinity (so taskset and container limits count),
// at least 1.
unsigned usable_cpus();

// Runs task(i) for every i in [0, count) on up to `threads` threads, the calling thread among
// them, each taking the next i in turn; returns when all have run. Each thread's stack is as
// large as the calling thread's stack limit allows, which the interpreter's recursion limit
// counts on. Where no thread can be started, the calling thread runs the tasks. The first
// exception a task throws is thrown again once all have stopped; tasks not yet begun are then
// not run. The threads are started by the first call that wants them and kept for later calls;
// calls from several threads run one after another, and a call from inside a task runs its
// tasks on the calling thread alone.
void run_tasks(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task);

}  // namespace textsift
