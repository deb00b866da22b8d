#pragma once
// Switching the controls of "Mesh Info && Tools" and of "Material Tools" on and off, for every
// handler group that shows or hides a mesh node or a material.
#include "platform/ui/controls.h"

namespace ms {

// The mesh controls 1013-1038; the blend-index arrows (1025, 1026) only come on while "Blend
// Indexed" (1023) is checked.
void EnableMeshControls(ui::Controls& controls, bool on);

// The material controls 1039-1056.
void EnableMaterialControls(ui::Controls& controls, bool on);

}  // namespace ms
