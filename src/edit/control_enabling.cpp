#include "edit/control_enabling.h"

#include "edit/control_ids.h"

namespace ms {

void EnableMeshControls(ui::Controls& controls, bool on) {
    for (int i = id::kMeshInfoFirst; i <= id::kMeshInfoLast; ++i) {
        if (i == id::kBlendPrevious || i == id::kBlendNext) continue;
        controls.Enable(i, on);
    }
    const bool blend = on && controls.IsChecked(id::kBlendIndexed);
    controls.Enable(id::kBlendPrevious, blend);
    controls.Enable(id::kBlendNext, blend);
}

void EnableMaterialControls(ui::Controls& controls, bool on) {
    for (int i = id::kMaterialToolsFirst; i <= id::kMaterialToolsLast; ++i) controls.Enable(i, on);
}

}  // namespace ms
