#include "platform/ui/dialog_units.h"

#include <cmath>

namespace ms::ui {
namespace {

// MulDiv: a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : -((-p + c / 2) / c));
}

}  // namespace

DialogUnits::DialogUnits(double dpi)
    : baseX_(static_cast<int>(std::lround(6.0 * dpi / 96.0))),
      baseY_(static_cast<int>(std::lround(13.0 * dpi / 96.0))) {}

int DialogUnits::X(int units) const { return MulDiv(units, baseX_, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, baseY_, 8); }

PixelRect DialogUnits::Map(const DialogRect& r) const {
    int left = X(r.x), top = Y(r.y);
    return {left, top, X(r.x + r.width) - left, Y(r.y + r.height) - top};
}

}  // namespace ms::ui
