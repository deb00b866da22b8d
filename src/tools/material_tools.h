#pragma once
// The material tools: a working copy of one material of the Model that the controls edit,
// "Update" writes back and "Refresh" reloads; the texture of each stage; new textures from image
// files; the Power of every material; and the material colour tolerance rule. Plain state with
// operations; the window's handlers read the controls, call these and write what they return.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/status.h"
#include "model/model.h"

namespace ms {

class Editor;

// The colour of a material that the colour fields show and edit.
enum class MaterialColour { kDiffuse, kAmbient, kSpecular, kEmissive };

// Reads a colour name ("diffuse", "ambient", "specular", "emissive").
std::optional<MaterialColour> MaterialColourFromName(const std::string& name);
D3DCOLORVALUE& ColourOf(D3DMATERIAL8& material, MaterialColour which);
const D3DCOLORVALUE& ColourOf(const D3DMATERIAL8& material, MaterialColour which);

// What the group shows of the working copy.
struct MaterialView {
    std::string counterText;  // "2/5": current index + 1 and the material count; "0/0" without materials
    std::string stageText;    // "3/8"
    std::string textureName;  // the current texture's file name, or "NONE"
    std::array<std::string, 4> colour;  // r, g, b, a of the chosen colour, "%.5f"
    std::string power;                  // "%.5f"
};

class MaterialToolsState {
public:
    MaterialToolsState();

    MaterialRecord working;  // the working copy
    int stage = 0;           // texture stage 0..7
    std::int32_t texture = -1;  // the working copy's texture of the stage; -1 none

    // Reloads the working copy from material `current` of the model (material 0 when out of
    // range, an empty record without materials) and returns what the group shows.
    MaterialView Show(const Model& model, std::int32_t current, MaterialColour colour);
    // What the group shows of the working copy as it is.
    MaterialView View(const Model& model, std::int32_t current, MaterialColour colour) const;
    std::string TextureNameText(const Model& model) const;

    // Material -1 / +1 within the list (nothing at the ends). True when `current` changed.
    static bool StepMaterial(int delta, const Model& model, std::int32_t& current);
    // Stage -1 / +1 within 0..7; the texture becomes the working copy's texture of that stage.
    void StepStage(int delta);
    // Texture -1 / +1 within -1..texture count - 1; the working copy's texture of the stage follows.
    void StepTexture(int delta, const Model& model);

    // The fields lost the focus: each of `colour` (r, g, b, a) and `power` is read from its first
    // 9 characters with "%f"; a field that holds no number keeps the working copy's value.
    void ReadFields(const std::array<std::string, 4>& colour, const std::string& power, MaterialColour which);

    // "Update": material `current` of the model := the working copy. Refused without that material.
    Status Update(Editor& editor, std::int32_t current) const;

    // "Add T": appends the texture file `path` to the model's textures and makes it the texture
    // of the current stage. A path of 100 characters or more does not fit a texture name and is
    // refused; nothing is added.
    Status AddTexture(Editor& editor, const std::string& path);
};

// Sets colour `which` of material `index` (the command "Update" of an edited working copy).
Status SetMaterialColour(Editor& editor, std::int32_t index, MaterialColour which, const D3DCOLORVALUE& colour);
Status SetMaterialPower(Editor& editor, std::int32_t index, float power);
// Texture `texture` (-1 none, else an index of the model's textures) for stage 0..7 of material `index`.
Status SetMaterialTexture(Editor& editor, std::int32_t index, int stage, std::int32_t texture);
// "Set To All": the Power of every material := the number at the start of `text` (at most 9
// characters are read). Refused when the text holds no number or without materials.
Status SetPowerToAll(Editor& editor, const std::string& text);
Status SetPowerToAll(Editor& editor, float power);
// Appends a texture name to the model (Add T without the material change). A path of 100
// characters or more is refused. `*index`: the new texture's index.
Status AddModelTexture(Editor& editor, const std::string& path, std::int32_t* index = nullptr);

// The tolerance rule of "Set": t := |v|; t >= 1 is read as a percentage (t * 0.01); a t still >= 1
// gives 0.001.
float ToleranceFromValue(float value);
// "Set" of the tolerance: scans the first 18 characters of `text` with "%f" and sets the Model's
// tolerance by the rule. Refused (unchanged) when the text holds no number. `*shown`: the
// tolerance as "%.3f", also when refused.
Status SetTolerance(Editor& editor, const std::string& text, std::string* shown = nullptr);
// Sets the Model's tolerance from `value` by the rule, as the command "Set".
Status SetTolerance(Editor& editor, float value);

}  // namespace ms
