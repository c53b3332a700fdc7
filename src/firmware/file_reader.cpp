#include "firmware/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvane {

bool SequentialFileReader::Open(const std::string& path, size_t bufferLimit) {
  fd_.reset();
  size_ = 0;
  begin_ = end_ = 0;
  // O_NONBLOCK keeps the open of a pipe without a writer from waiting; such
  // files are refused right after.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return false;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return false;
  size_ = static_cast<uint64_t>(info.st_size);
  // No larger than the file needs: small files are read by the thousand.
  capacity_ = static_cast<size_t>(
      std::clamp<uint64_t>(size_, kMinBufferSize, std::clamp(bufferLimit, kMinBufferSize, kBufferSize)));
  fd_ = std::move(fd);
  return true;
}

size_t SequentialFileReader::ReadOnce(uint8_t* dst, size_t n) {
  if (!fd_ || n == 0) return 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    ssize_t got = ::read(fd_.get(), dst, n);
    if (got > 0) return static_cast<size_t>(got);
    if (got == 0 || (errno != EINTR && errno != EAGAIN)) return 0;
  }
  return 0;
}

size_t SequentialFileReader::Read(uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (begin_ < end_) {
      size_t take = std::min(n - done, end_ - begin_);
      std::memcpy(dst + done, buffer_.data() + begin_, take);
      begin_ += take;
      done += take;
      continue;
    }
    size_t remaining = n - done;
    if (remaining >= capacity_) {
      // Large pieces go straight to their destination.
      size_t got = ReadOnce(dst + done, remaining);
      if (got == 0) break;
      done += got;
      continue;
    }
    if (buffer_.size() != capacity_) buffer_.resize(capacity_);
    size_t got = ReadOnce(buffer_.data(), capacity_);
    if (got == 0) break;
    begin_ = 0;
    end_ = got;
  }
  return done;
}

}  // namespace orvane
