#pragma once
// Numbers in edit fields, written and read in the C locale whatever the process locale is.
#include <string>

namespace ms {

// The float with `decimals` digits after the point, as "%.<decimals>f" prints it ("%f" is 6).
std::string FormatFixed(float value, int decimals);

// Reads `text` as "%f" scanning does: leading white space, then the longest prefix that is a
// number. Returns false and leaves `value` as it was when no number starts the text, and also
// for a number no float holds (infinity, NaN, 1e39), which no edit field may bring in.
bool ScanFloat(const std::string& text, float& value);

}  // namespace ms
