// The module-file parser, fed whole files. One FirmwareFile is reused, as the
// program reuses it for file after file.

#include "firmware/firmware_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  static FirmwareFile file;
  const std::string path = fuzz::WriteScratchFile("module.fm", {data, size});
  const ParseResult result = file.ParseModuleFile(path);

  if (result != ParseResult::Ok) {
    ORVANE_FUZZ_CHECK(file.sections.empty() && file.chunks.empty());
    ORVANE_FUZZ_CHECK(!FileStatusText(result).empty());
    return 0;
  }
  ORVANE_FUZZ_CHECK(size >= kModuleHeaderLength && file.typeValid);
  ORVANE_FUZZ_CHECK(file.infoText.size() <= kInfoTextMaxLength);
  // The sections are the body of the file, in order, without a byte lost or added.
  size_t at = kModuleHeaderLength;
  // A module that can never be sent keeps its layout but none of its bytes.
  const bool sendable = file.Fit().sendable();
  for (const FirmwareSection& section : file.sections) {
    ORVANE_FUZZ_CHECK(section.loaded() == sendable || section.length() == 0);
    ORVANE_FUZZ_CHECK(section.length() <= size - at);
    ORVANE_FUZZ_CHECK(std::equal(section.data.begin(), section.data.end(), data + at));
    at += section.length();
  }
  ORVANE_FUZZ_CHECK(at == size);
  const size_t preambleSections = file.preambleHalf1 > 0 ? 2 : 0;
  ORVANE_FUZZ_CHECK(file.sections.size() == preambleSections + file.blockCount + 1);
  ORVANE_FUZZ_CHECK(file.sections.back().address == kTrailerAddress);
  ORVANE_FUZZ_CHECK(file.sections.back().length() == file.trailerLength);
  return 0;
}
