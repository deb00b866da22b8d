#pragma once
// A dialog described as data: its title and size in dialog units, and for each control its id,
// kind, caption (as stored: "&&" shows one '&', a single '&' marks the mnemonic), rectangle in
// dialog units, style and first state.
#include <string>
#include <vector>

namespace ms::ui {

enum class ControlKind {
    GroupBox,
    PushButton,
    CheckBox,
    Radio,
    Text,
    Edit,
    TreeView,
    EtchedFrame,
};

enum ControlStyle : unsigned {
    kNoStyle = 0,
    kGroupStart = 1u << 0,  // begins a radio group that runs to the next group start
    kPushLike = 1u << 1,    // a radio drawn as a button that stays pressed
    kIcon = 1u << 2,        // a button that shows an icon instead of its caption
    kMultiline = 1u << 3,   // the caption may wrap
    kCentred = 1u << 4,     // centred static text
};

struct DialogRect {
    int x, y, width, height;
};

struct ControlSpec {
    int id;
    ControlKind kind;
    const char* caption;
    DialogRect rect;
    unsigned style = kNoStyle;
    int group = 0;  // the owner's number for the handler group that serves it; 0 for none
};

struct DialogTemplate {
    int id;
    const char* title;
    int width, height;  // client area in dialog units
    std::vector<ControlSpec> controls;
};

}  // namespace ms::ui
