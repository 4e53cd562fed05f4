#include "parallel/workers.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

namespace textsift {
namespace {

// The stack a worker gets: the stack limit, as the interpreter's recursion limit assumes it (an
// unlimited stack counts as 256 MiB there too). Only what a thread touches is ever committed.
std::size_t worker_stack_bytes() {
  constexpr std::size_t most = std::size_t{256} << 20;
  constexpr std::size_t least = std::size_t{8} << 20;
  rlimit stack{};
  if (getrlimit(RLIMIT_STACK, &stack) != 0 || stack.rlim_cur == RLIM_INFINITY) return most;
  return std::clamp<std::size_t>(static_cast<std::size_t>(stack.rlim_cur), least, most);
}

// What the threads of one run_tasks share.
struct job {
  std::size_t count;
  const std::function<void(std::size_t)>* task;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex mutex;
  std::exception_ptr first_failure;

  void work() {
    for (std::size_t i; !failed.load() && (i = next.fetch_add(1)) < count;) {
      try {
        (*task)(i);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!first_failure) first_failure = std::current_exception();
        failed = true;
      }
    }
  }
};

thread_local bool on_a_worker = false;

// Threads started once, at the first job that wants them, and kept for the jobs after it: a
// run's expressions each start a job, and a test starts thousands.
class worker_pool {
 public:
  ~worker_pool() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (const pthread_t thread : threads_) pthread_join(thread, nullptr);
  }

  // Runs `shared` on this thread and on up to `helpers` workers.
  void run(job& shared, std::size_t helpers) {
    const std::lock_guard<std::mutex> one_job_at_a_time(submit_);
    std::unique_lock<std::mutex> lock(mutex_);
    start_threads(helpers);
    current_ = &shared;
    to_join_ = std::min(helpers, threads_.size());
    ++generation_;
    lock.unlock();
    wake_.notify_all();
    shared.work();
    lock.lock();
    // The job lives on this thread's stack: every worker that took it must be done with it.
    done_.wait(lock, [&] { return to_join_ == 0 && working_ == 0; });
    current_ = nullptr;
  }

 private:
  // Starts workers until there are `wanted`; where no thread can be started, those there are
  // (or none) help.
  void start_threads(std::size_t wanted) {
    pthread_attr_t attributes;
    const bool have_attributes = pthread_attr_init(&attributes) == 0;
    if (have_attributes) pthread_attr_setstacksize(&attributes, worker_stack_bytes());
    while (threads_.size() < wanted) {
      pthread_t thread;
      if (pthread_create(&thread, have_attributes ? &attributes : nullptr, work_of, this) != 0) {
        break;
      }
      threads_.push_back(thread);
    }
    if (have_attributes) pthread_attr_destroy(&attributes);
  }

  static void* work_of(void* pool) {
    on_a_worker = true;
    static_cast<worker_pool*>(pool)->serve();
    return nullptr;
  }

  void serve() {
    std::size_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || (generation_ != seen && to_join_ > 0); });
      if (stopping_) return;
      seen = generation_;
      --to_join_;
      ++working_;
      job* const taken = current_;
      lock.unlock();
      taken->work();
      lock.lock();
      --working_;
      if (to_join_ == 0 && working_ == 0) done_.notify_all();
    }
  }

  std::mutex submit_;  // one job at a time
  std::mutex mutex_;   // guards everything below
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<pthread_t> threads_;
  job* current_ = nullptr;      // the job being run, while run() runs
  std::size_t generation_ = 0;  // counts jobs, so that a worker takes each at most once
  std::size_t to_join_ = 0;     // workers still to take the current job
  std::size_t working_ = 0;     // workers inside the current job
  bool stopping_ = false;
};

}  // namespace

unsigned usable_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
}

void run_tasks(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& task) {
  job shared;
  shared.count = count;
  shared.task = &task;
  const std::size_t helpers = std::min<std::size_t>(count, std::max(1u, threads)) - 1;
  if (helpers == 0 || on_a_worker) {
    shared.work();  // a task that starts a job runs it itself
  } else {
    static worker_pool pool;
    pool.run(shared, helpers);
  }
  if (shared.first_failure) std::rethrow_exception(shared.first_failure);
}

}  // namespace textsift
