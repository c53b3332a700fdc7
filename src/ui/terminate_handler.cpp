#include "ui/terminate_handler.h"

#include <unistd.h>

#include <cstdlib>
#include <exception>

namespace orvane {
namespace {

[[noreturn]] void EndQuietly() {
  static const char kLine[] = "orvane-bootload: unexpected internal error, the program ends\n";
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, kLine, sizeof kLine - 1);
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

void InstallQuietTerminateHandler() { std::set_terminate(&EndQuietly); }

}  // namespace orvane
