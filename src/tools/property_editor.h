#pragma once
// The property editor: the vertex layout of the selected mesh node as check boxes and counters,
// a new layout built from them and the mesh converted to it, a walk over the mesh's vertices
// ("dots") and their Properties, one value shown and written in decimal, hexadecimal or binary,
// and the material number of the mesh node. Plain state with operations; the window's handlers
// read the controls, call these and write what they return.
#include <cstdint>
#include <optional>
#include <string>

#include "base/status.h"
#include "tools/vertex_layout.h"

namespace ms {

class Editor;
class Model;

// The layout choices of the window's check boxes.
struct FvfChoice {
    bool normal = false;
    bool pointSize = false;
    bool diffuse = false;
    bool specular = false;
    bool rhw = false;
    bool blendIndexed = false;
};

// Builds the target FVF of "Update FVF" in its order (later steps override earlier ones): XYZ;
// RHW; normal; diffuse; specular; point size; with "Blend Indexed" the pending blend count with
// indices (without it, no blending); the pending texture count when not 0. Returns the FVF.
std::uint32_t BuildTargetFvf(LayoutConverter& layouts, const FvfChoice& choice, int blendCount, int textureCount);

// The 32-bit pattern `value` in `radix` (2, 10 or 16): lower-case digits, no prefix, no leading zeros.
std::string FormatRadix(std::uint32_t value, int radix);
// Reads `text` as an unsigned 32-bit number in `radix` as strtoul does: leading blanks, a sign, in
// radix 16 an optional "0x", then the longest run of digits; no digits gives 0; a negative number
// gives its two's complement; a number beyond 32 bits gives 0xffffffff.
std::uint32_t ParseRadix(const std::string& text, int radix);

// The rule of the material "Set": n := `text` as a decimal integer (0 when it holds none); 0 stands
// for the material count, a negative n counts as its absolute value; index := (n - 1) mod count.
// No value without materials.
std::optional<std::int32_t> MaterialIndexFromText(const std::string& text, std::int32_t materialCount);

// Gives mesh node `node` the material that `text` names by the rule above, as the command "Set".
// Refused (nothing changes) without materials or when `node` is not a mesh node of the model.
Status SetMeshMaterial(Editor& editor, std::int32_t node, const std::string& text, std::int32_t* index = nullptr);

// Writes `text` (as "Set" reads the value field) into Property `property` of vertex `dot` of
// `geometry`, or of every vertex when `dot` is -1. Float Properties take a decimal number (the
// leading part of the text, 0 when there is none); integer ones an unsigned number in `radix`.
// Refused unchanged: an unknown geometry, a dot out of range, a layout that cannot be read, a
// Property the layout lacks.
Status SetVertexValue(Editor& editor, const char* commandName, std::int32_t geometry, std::int32_t dot,
                      int property, const std::string& text, int radix);

// What "Refresh FVF" shows of a mesh node.
struct MeshInfo {
    std::string materialText;  // the mesh node's material index + 1
    FvfChoice checks;          // Blend Indexed: LASTBETA_UBYTE4
    int textureCount = 0;
    int blendCount = 0;
};

class PropertyEditorState {
public:
    std::int32_t geometry = -1;  // the current MeshGeometry (-1: none)
    std::int32_t dot = 0;
    int property = 0;  // PropertyId
    int radix = 10;    // 2, 10 or 16
    int pendingTextureCount = 0;  // 0..8
    int pendingBlendCount = 0;    // the buttons keep it within 0..3; Refresh sets the layout's count
    LayoutConverter layouts;

    // Refresh FVF for mesh node `node`: dot and Property back to 0, the current geometry and the
    // current layout slot become the node's, the pending counts the layout's.
    MeshInfo Refresh(const Model& model, std::int32_t node);

    // The text of the dot counter ("3/10", or "NO DOTS"), after keeping the dot within the
    // vertices; and the value text (see Value), "NO VALUE" without vertices.
    struct DotView {
        std::string dotText;
        std::optional<std::string> valueText;
    };
    DotView ShowDot(const Model& model);
    // The current Property of the current dot: a float as "%f", an integer in the current radix.
    // Nothing when the layout lacks the Property (the field keeps its text); "NOT SUPPORTED" when
    // the geometry's vertices cannot be read through its layout.
    std::optional<std::string> Value(const Model& model);

    // Dot -1 / +1 within the vertices (no wrap).
    void StepDot(int delta, const Model& model);
    // The previous (-1) or next (+1) Property the current layout has, wrapping within 0..29.
    // False when none is present: the Property becomes 0.
    bool StepProperty(int direction, const Model& model);
    void StepTextureCount(int delta);
    void StepBlendCount(int delta);

    // The radio buttons: only while an integer Property is current, the radix becomes `newRadix`
    // and `text` (read in the old radix) is returned written in the new one. The 32-bit pattern
    // is kept, so every switch round-trips. Nothing for float Properties.
    std::optional<std::string> ChangeRadix(int newRadix, const std::string& text);

    // "Set" (one dot) or "Set To All Dots" with the value field's text (at most 31 characters
    // are read). Nothing happens without vertices or when the layout lacks the Property; a layout
    // that cannot be read is refused with a message.
    Status Set(Editor& editor, const std::string& text, bool allDots);

    // "Update FVF": builds the target FVF from `choice` and the pending counts and converts the
    // current geometry to it. Nothing without a current geometry; a geometry whose layout cannot
    // be read is refused unchanged.
    Status UpdateFvf(Editor& editor, const FvfChoice& choice);

private:
    // The current slot set to the geometry's FVF; null when there is no current geometry.
    const struct MeshGeometry* CurrentGeometry(const Model& model);
};

}  // namespace ms
