// The raw chunker for kernel and UniApp files.

#include "firmware/firmware_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  static FirmwareFile file;
  const std::string path = fuzz::WriteScratchFile("kernel.bin", {data, size});
  ORVANE_FUZZ_CHECK(file.LoadRawChunks(path));
  ORVANE_FUZZ_CHECK(file.fileLength == size && file.sections.empty());
  ORVANE_FUZZ_CHECK(file.chunks.size() == (size + kRawChunkLength - 1) / kRawChunkLength);
  size_t at = 0;
  for (size_t i = 0; i < file.chunks.size(); ++i) {
    const FirmwareSection& chunk = file.chunks[i];
    const bool last = i + 1 == file.chunks.size();
    ORVANE_FUZZ_CHECK(last ? chunk.length() >= 1 && chunk.length() <= kRawChunkLength
                           : chunk.length() == kRawChunkLength);
    ORVANE_FUZZ_CHECK(chunk.index == i && chunk.address == (at & kChunkAddressMask));
    ORVANE_FUZZ_CHECK(std::equal(chunk.data.begin(), chunk.data.end(), data + at));
    at += chunk.length();
  }
  ORVANE_FUZZ_CHECK(at == size);
  return 0;
}
