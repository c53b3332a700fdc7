#pragma once
// Reads a regular file front to back through one bounded buffer, so that
// cutting a file into many small pieces costs few system calls and no more
// memory than the pieces themselves plus the buffer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/unique_fd.h"

namespace orvane {

class SequentialFileReader {
 public:
  static constexpr size_t kBufferSize = 256 * 1024;
  static constexpr size_t kMinBufferSize = 4096;

  // False when `path` is not a regular file that can be opened for reading
  // (a folder, a pipe or a device is refused rather than read or waited on).
  // `bufferLimit` caps the buffer for callers that read only the front.
  bool Open(const std::string& path, size_t bufferLimit = kBufferSize);

  // Length of the file when it was opened.
  uint64_t size() const { return size_; }

  // Reads up to `n` bytes at the current position; returns how many arrived
  // (fewer only at the end of the file or on a read error).
  size_t Read(uint8_t* dst, size_t n);
  bool ReadExact(uint8_t* dst, size_t n) { return Read(dst, n) == n; }

 private:
  // One read(2) call that retries when interrupted; 0 at end or on error.
  size_t ReadOnce(uint8_t* dst, size_t n);

  UniqueFd fd_;
  uint64_t size_ = 0;
  size_t capacity_ = kMinBufferSize;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;  // unread bytes of buffer_ are [begin_, end_)
  size_t end_ = 0;
};

}  // namespace orvane
