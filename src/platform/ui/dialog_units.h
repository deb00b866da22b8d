#pragma once
// Dialog units to pixels, as Windows maps them for a dialog in 8-point "MS Shell Dlg": the font's
// average character width and height are 6 and 13 pixels at 96 DPI; a horizontal unit is a
// quarter of the width and a vertical unit an eighth of the height (1.5 and 1.625 pixels).
// Each edge of a rectangle is mapped and rounded on its own, as MapDialogRect does.
#include "platform/ui/dialog_template.h"

namespace ms::ui {

struct PixelRect {
    int x, y, width, height;
};

class DialogUnits {
public:
    // `dpi` is the screen's logical resolution; the base units scale with it.
    explicit DialogUnits(double dpi = 96.0);
    int X(int units) const;
    int Y(int units) const;
    PixelRect Map(const DialogRect& r) const;

private:
    int baseX_;
    int baseY_;
};

}  // namespace ms::ui
