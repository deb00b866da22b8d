#pragma once
// Counts the bytes that operator new hands out, so a benchmark can report the peak memory of one
// operation. Linking this library replaces the global operator new and delete.
#include <cstddef>

namespace ms::bench {

// Starts a new measurement: the peak becomes the bytes live now.
void ResetPeak();
// The most bytes live at once since the last ResetPeak(), less those live at that call.
std::size_t PeakSinceReset();

}  // namespace ms::bench
