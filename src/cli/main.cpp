// orvane-bootload-cli: the command line over the core library.

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kVersion = "2.00.020";

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: orvane-bootload-cli [OPTIONS] COMMAND [ARGS]\n"
               "\n"
               "Firmware-update tool for the Orvane payment card reader.\n"
               "\n"
               "Options:\n"
               "  --help       show this text\n"
               "  --version    show the program version\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvane-bootload-cli %s\n", kVersion);
      return 0;
    }
  }
  PrintUsage(stderr);
  return 2;
}
