#pragma once
// The dialog templates of the program, as data.
#include "platform/ui/dialog_template.h"

namespace ms::app {

// The handler groups that serve the main window's controls.
namespace HandlerGroup {
enum : int {
    kNone = 0,
    kDisplay,        // display options: Draw frame
    kModelFiles,     // model tree, model file commands, skeleton commands
    kMeshTools,      // vertex layout and property editor
    kMaterialTools,  // material and texture tools
    kConnect,
    kConnectShadow,
    kMergeSettings,  // level distances, blank levels, colour tolerance
    kBones,          // the "Bones :" buttons
    kEnvelope,
    kSceneFiles,     // "Conntrol" Open and Save
    kCamera,
};
}  // namespace HandlerGroup

constexpr int kIdOk = 1;
constexpr int kIdAboutText = 1200;
constexpr int kIdAboutSecondLine = 1201;

const ui::DialogTemplate& MainDialogTemplate();
const ui::DialogTemplate& AboutDialogTemplate();

}  // namespace ms::app
