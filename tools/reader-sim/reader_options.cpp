#include "reader-sim/reader_options.h"

namespace orvane::sim {

bool IsPciTypeChar(char typeChar) {
  return typeChar == '1' || typeChar == '2' || typeChar == '4' || typeChar == '6';
}

}  // namespace orvane::sim
