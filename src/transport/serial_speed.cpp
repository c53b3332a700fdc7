#include "transport/serial_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace orvane {

namespace {

// Rates with a constant of their own keep it, so programs that look at the
// port through plain termios see the usual value; the rest go as BOTHER.
constexpr std::pair<uint32_t, unsigned> kNamedRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

constexpr uint32_t kTolerancePercent = 2;

}  // namespace

bool SetLineSpeed(int fd, uint32_t baud, uint32_t& actual) {
  actual = 0;
  if (baud == 0) return false;  // B0 would hang the line up
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  const auto* named = std::find_if(std::begin(kNamedRates), std::end(kNamedRates),
                                   [&](const auto& entry) { return entry.first == baud; });
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));  // input speed follows the output speed
  tio.c_cflag |= named != std::end(kNamedRates) ? named->second : BOTHER;
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &tio) != 0) return false;
  const std::optional<uint32_t> taken = LineSpeed(fd);
  if (!taken) return false;
  actual = *taken;
  const uint64_t off = actual > baud ? actual - baud : baud - actual;
  return off * 100 <= uint64_t{baud} * kTolerancePercent;
}

std::optional<uint32_t> LineSpeed(int fd) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return std::nullopt;
  return tio.c_ospeed;
}

}  // namespace orvane
