#include "firmware/module_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "app/unique_fd.h"

namespace orvane {
namespace {

constexpr size_t kMaxTaggedValue = 255;

std::string_view Capped(const std::string& value) {
  return std::string_view(value).substr(0, kMaxTaggedValue);
}

uint16_t DefaultPreambleLength(const ModuleSpec& spec) {
  size_t part1 = 2 + Capped(spec.infoText).size() + 2 + Capped(spec.secondValue).size();
  return static_cast<uint16_t>(std::min<size_t>(2 * part1, 0xFFFE));
}

void PutLe16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

std::vector<uint8_t> PreamblePart1(const ModuleSpec& spec, uint32_t half) {
  std::vector<uint8_t> part;
  part.reserve(half);
  auto tagged = [&](uint8_t tag, std::string_view value) {
    part.push_back(tag);
    part.push_back(static_cast<uint8_t>(value.size()));
    part.insert(part.end(), value.begin(), value.end());
  };
  tagged(spec.firstTag, Capped(spec.infoText));
  tagged(spec.secondTag, Capped(spec.secondValue));
  part.resize(half, 0);  // cut or padded to H
  return part;
}

// Fills `count` bytes with `given`, or with a position-dependent pattern when
// nothing was given; `given` is cut or padded with zeros.
void AppendContent(std::vector<uint8_t>& out, const std::vector<uint8_t>& given, uint64_t count, uint8_t salt) {
  if (!given.empty()) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(given.size(), count));
    out.insert(out.end(), given.begin(), given.begin() + static_cast<std::ptrdiff_t>(take));
    out.resize(out.size() + static_cast<size_t>(count - take), 0);
    return;
  }
  for (uint64_t k = 0; k < count; ++k) {
    out.push_back(static_cast<uint8_t>(k * 7 + (k >> 8) * 13 + (k >> 16) * 29 + salt));
  }
}

}  // namespace

ModuleLayout LayoutOf(const ModuleSpec& spec) {
  ModuleLayout layout;
  uint16_t preambleLength = spec.preambleLength.value_or(DefaultPreambleLength(spec));
  layout.preambleHalf = preambleLength / 2u;
  layout.part1Offset = kModuleHeaderLength;
  layout.part2Offset = layout.part1Offset + layout.preambleHalf;
  layout.blocksOffset = layout.part2Offset + layout.preambleHalf;
  layout.trailerOffset = layout.blocksOffset + static_cast<uint64_t>(spec.blockCount) * spec.blockSize;
  layout.totalLength = layout.trailerOffset + std::min<size_t>(spec.trailer.size(), 0xFFFF);
  return layout;
}

std::vector<uint8_t> BuildModuleImage(const ModuleSpec& spec) {
  const ModuleLayout layout = LayoutOf(spec);
  const uint16_t preambleLength = spec.preambleLength.value_or(DefaultPreambleLength(spec));
  const uint16_t trailerLength = static_cast<uint16_t>(std::min<size_t>(spec.trailer.size(), 0xFFFF));

  std::vector<uint8_t> image(kModuleHeaderLength, 0);
  image.reserve(static_cast<size_t>(layout.totalLength) + static_cast<size_t>(std::max<int64_t>(spec.lengthAdjust, 0)));
  for (size_t i = 0; i < spec.reservedFill.size() && i < kModuleHeaderLength; ++i) {
    size_t at = i < 2 ? 8 + i : 20 + i;  // bytes 8-9, then 22-63
    if (at < kModuleHeaderLength) image[at] = spec.reservedFill[i];
  }
  std::string type = spec.securityType;
  type.resize(6, ' ');
  std::copy(type.begin(), type.end(), image.begin());
  image[6] = spec.moduleType;
  image[7] = spec.encryption;
  PutLe16(image, 10, spec.preambleLengthField.value_or(preambleLength));
  PutLe16(image, 12, spec.trailerLengthField.value_or(trailerLength));
  PutLe16(image, 14, spec.blockSizeField.value_or(spec.blockSize));
  PutLe16(image, 16, spec.blockCountField.value_or(spec.blockCount));
  image[18] = static_cast<uint8_t>(spec.baseAddress >> 24);
  image[19] = static_cast<uint8_t>(spec.baseAddress >> 16);
  image[20] = static_cast<uint8_t>(spec.baseAddress >> 8);
  image[21] = static_cast<uint8_t>(spec.baseAddress);

  std::vector<uint8_t> part1 = PreamblePart1(spec, layout.preambleHalf);
  image.insert(image.end(), part1.begin(), part1.end());
  AppendContent(image, spec.preamblePart2, layout.preambleHalf, 0x3C);
  AppendContent(image, spec.blockData, static_cast<uint64_t>(spec.blockCount) * spec.blockSize, 0x11);
  image.insert(image.end(), spec.trailer.begin(), spec.trailer.begin() + trailerLength);

  if (spec.lengthAdjust > 0) {
    image.resize(image.size() + static_cast<size_t>(spec.lengthAdjust), 0);
  } else if (spec.lengthAdjust < 0) {
    size_t cut = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(-spec.lengthAdjust), image.size()));
    image.resize(image.size() - cut);
  }
  if (spec.truncateTo && *spec.truncateTo < image.size()) image.resize(*spec.truncateTo);
  return image;
}

bool WriteModuleFile(const std::string& path, const ModuleSpec& spec) {
  return WriteBytesToFile(path, BuildModuleImage(spec));
}

std::vector<uint8_t> BuildRawModule(size_t length, uint32_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t k = 0; k < length; ++k) {
    bytes[k] = static_cast<uint8_t>(k * 3 + (k >> 10) * 101 + (k >> 18) * 59 + seed * 17 + (seed >> 8));
  }
  return bytes;
}

bool WriteRawModuleFile(const std::string& path, size_t length, uint32_t seed) {
  return WriteBytesToFile(path, BuildRawModule(length, seed));
}

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t wrote = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return ::close(fd.release()) == 0;
}

}  // namespace orvane
