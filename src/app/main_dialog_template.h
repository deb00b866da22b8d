#pragma once
// The dialog templates of the program, as data.
#include "platform/ui/dialog_template.h"

namespace ms::app {

constexpr int kIdOk = 1;
constexpr int kIdAboutText = 1200;
constexpr int kIdAboutSecondLine = 1201;

const ui::DialogTemplate& MainDialogTemplate();
const ui::DialogTemplate& AboutDialogTemplate();

}  // namespace ms::app
