#pragma once
// Counts the bytes the whole program holds on the heap, so that a benchmark
// can report the peak that one operation needed. Linking heap_meter.cpp
// replaces the global operator new and delete of the executable.

#include <cstddef>

namespace orvane::bench {

size_t HeapBytesNow();
// Highest value since the last ResetHeapPeak().
size_t HeapBytesPeak();
void ResetHeapPeak();

}  // namespace orvane::bench
