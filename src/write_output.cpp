#include "write_output.hpp"

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "templates/large_buffer.hpp"

namespace textsift {
namespace {

// Pieces are held in blocks that double in size from the first to the largest, which huge pages
// back where the kernel has them: a short result takes little memory, a long one few blocks.
constexpr std::size_t first_block_bytes = std::size_t{64} << 10;
constexpr std::size_t largest_block_bytes = std::size_t{8} << 20;
constexpr std::size_t longest_span_piece = 20;  // two varints

// A piece shorter than this is copied into the batch, beside its neighbours, rather than handed
// to the kernel as one more piece of its own.
constexpr std::size_t shortest_direct_piece = 4096;

// Writes `value` as a varint at `out`; returns the end.
char* put_varint(char* out, std::uint64_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>((value & 0x7f) | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

std::uint64_t get_varint(const char*& in) {
  if (static_cast<unsigned char>(*in) < 0x80) return static_cast<unsigned char>(*in++);
  std::uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
    if (byte < 0x80) return value;
  }
}

// Writes pieces with writev: long ones as they lie, short ones copied together into a block.
class batch_writer {
 public:
  explicit batch_writer(int fd)
      : fd_(fd), block_(static_cast<char*>(std::malloc(piece_output::batch_bytes))) {
    if (!block_) throw std::bad_alloc();
  }

  void add(const char* data, std::size_t size) {
    if (size >= shortest_direct_piece) {
      if (count_ == piece_output::batch_pieces) flush();
      pieces_[count_++] = {const_cast<char*>(data), size};
      last_copied_ = false;
      return;
    }
    // A short piece always fits in the block of a batch just begun.
    if (copied_ + size > piece_output::batch_bytes || count_ == piece_output::batch_pieces) {
      flush();
    }
    char* const target = block_.get() + copied_;
    std::memcpy(target, data, size);
    copied_ += size;
    if (last_copied_) {
      pieces_[count_ - 1].iov_len += size;
    } else {
      pieces_[count_++] = {target, size};
      last_copied_ = true;
    }
  }

  // Writes what is held.
  void flush() {
    iovec* next = pieces_;
    std::size_t left = count_;
    while (left > 0) {
      const ssize_t written = writev(fd_, next, static_cast<int>(left));
      if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          pollfd entry{fd_, POLLOUT, 0};  // a non-blocking descriptor: wait until it takes more
          poll(&entry, 1, -1);
          continue;
        }
        if (errno == EINTR) continue;
        throw "Failed to write to stdout";
      }
      if (written == 0) throw "Failed to write to stdout";
      auto done = static_cast<std::size_t>(written);
      while (left > 0 && done >= next->iov_len) {
        done -= next->iov_len;
        ++next;
        --left;
      }
      if (left > 0) {
        next->iov_base = static_cast<char*>(next->iov_base) + done;
        next->iov_len -= done;
      }
    }
    count_ = 0;
    copied_ = 0;
    last_copied_ = false;
  }

 private:
  struct release {
    void operator()(char* bytes) const { std::free(bytes); }
  };

  int fd_;
  std::unique_ptr<char, release> block_;
  std::size_t copied_ = 0;
  iovec pieces_[piece_output::batch_pieces];
  std::size_t count_ = 0;
  bool last_copied_ = false;  // the last piece is the end of the block
};

}  // namespace

void write_all_stdout(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd entry{fd, POLLOUT, 0};  // a non-blocking descriptor: wait until it takes more
      poll(&entry, 1, -1);
    } else if (written == 0 || errno != EINTR) {
      throw "Failed to write to stdout";
    }
  }
}

void stream_output::append(const char* data, std::size_t size) {
  if (block_.size() + size > block_size) {
    flush();
    if (size > block_size) {
      write_all_stdout(fd_, std::string_view(data, size));
      return;
    }
  }
  block_.append(data, size);
}

void stream_output::flush() {
  write_all_stdout(fd_, block_);
  block_.clear();
}

void piece_output::release::operator()(char* bytes) const {
  std::free(bytes);
}

void piece_output::clear() {
  blocks_.clear();
  write_ = end_ = run_ = nullptr;
  cursor_ = 0;
}

void piece_output::append_slowly(const char* data, std::size_t size) {
  if (size >= shortest_span && data >= text_.data() && data + size <= text_.data() + text_.size()) {
    append_span(static_cast<std::size_t>(data - text_.data()), size);
  } else {
    append_bytes(data, size);
  }
}

void piece_output::append_span(std::size_t begin, std::size_t size) {
  close_run();
  if (end_ - write_ < static_cast<std::ptrdiff_t>(longest_span_piece)) new_block();
  const auto distance = static_cast<std::int64_t>(begin - cursor_);
  write_ = put_varint(write_, std::uint64_t{size} << 1);
  write_ = put_varint(write_, (static_cast<std::uint64_t>(distance) << 1) ^
                                  static_cast<std::uint64_t>(distance >> 63));
  cursor_ = begin + size;
}

void piece_output::append_bytes(const char* data, std::size_t size) {
  while (size > 0) {
    if (run_ == nullptr) {
      if (write_ >= end_) new_block();
      run_ = write_++;  // one byte for the header, which close_run() may widen
    }
    const auto held = static_cast<std::size_t>(write_ - run_ - 1);
    const std::size_t part =
        std::min({size, static_cast<std::size_t>(end_ - write_), longest_run - held});
    if (part == 0) {
      close_run();
      continue;
    }
    std::memcpy(write_, data, part);
    write_ += part;
    data += part;
    size -= part;
  }
}

void piece_output::close_run() {
  if (run_ == nullptr) return;
  const auto length = static_cast<std::size_t>(write_ - run_ - 1);
  const std::uint64_t header = (std::uint64_t{length} << 1) | 1;
  const std::size_t wider = header < (1 << 7) ? 0 : header < (1 << 14) ? 1 : 2;
  if (wider > 0) std::memmove(run_ + 1 + wider, run_ + 1, length);
  put_varint(run_, header);
  write_ += wider;
  run_ = nullptr;
}

void piece_output::new_block() {
  seal_block();
  const std::size_t size =
      blocks_.empty()
          ? first_block_bytes
          : std::min(largest_block_bytes,
                     2 * static_cast<std::size_t>(end_ + 2 - blocks_.back().bytes.get()));
  block fresh;
  fresh.bytes.reset(static_cast<char*>(std::malloc(size)));
  if (!fresh.bytes) throw std::bad_alloc();
  templates::advise_huge_pages(fresh.bytes.get(), size);
  write_ = fresh.bytes.get();
  end_ = write_ + size - 2;
  blocks_.push_back(std::move(fresh));
}

void piece_output::seal_block() {
  close_run();
  if (!blocks_.empty())
    blocks_.back().used = static_cast<std::size_t>(write_ - blocks_.back().bytes.get());
}

void piece_output::write_to(int fd) {
  seal_block();
  batch_writer writer(fd);
  std::size_t cursor = 0;
  for (const block& each : blocks_) {
    const char* at = each.bytes.get();
    const char* const end = at + each.used;
    while (at < end) {
      const std::uint64_t header = get_varint(at);
      const auto size = static_cast<std::size_t>(header >> 1);
      if ((header & 1) != 0) {
        writer.add(at, size);
        at += size;
        continue;
      }
      const std::uint64_t zigzag = get_varint(at);
      const auto distance =
          static_cast<std::int64_t>(zigzag >> 1) ^ -static_cast<std::int64_t>(zigzag & 1);
      const std::size_t begin = cursor + static_cast<std::size_t>(distance);
      writer.add(text_.data() + begin, size);
      cursor = begin + size;
    }
  }
  writer.flush();
}

}  // namespace textsift
