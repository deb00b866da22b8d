#include "tools/material_tools.h"

#include <algorithm>
#include <cmath>

#include "edit/editor.h"
#include "skin/number_text.h"

namespace ms {
namespace {

constexpr std::size_t kFieldChars = 9;       // the colour and Power fields are read up to this
constexpr std::size_t kToleranceChars = 18;  // the tolerance field likewise

MaterialRecord EmptyMaterial() {
    MaterialRecord m{};
    std::fill(std::begin(m.texture), std::end(m.texture), -1);
    return m;
}

bool ScanField(const std::string& text, std::size_t chars, float& value) {
    return ScanFloat(text.substr(0, chars), value);
}

Status NoMaterial(std::int32_t index) { return Status::Error("there is no material " + std::to_string(index)); }

}  // namespace

std::optional<MaterialColour> MaterialColourFromName(const std::string& name) {
    if (name == "diffuse") return MaterialColour::kDiffuse;
    if (name == "ambient") return MaterialColour::kAmbient;
    if (name == "specular") return MaterialColour::kSpecular;
    if (name == "emissive") return MaterialColour::kEmissive;
    return std::nullopt;
}

D3DCOLORVALUE& ColourOf(D3DMATERIAL8& m, MaterialColour which) {
    switch (which) {
        case MaterialColour::kAmbient: return m.Ambient;
        case MaterialColour::kSpecular: return m.Specular;
        case MaterialColour::kEmissive: return m.Emissive;
        case MaterialColour::kDiffuse: break;
    }
    return m.Diffuse;
}

const D3DCOLORVALUE& ColourOf(const D3DMATERIAL8& m, MaterialColour which) {
    return ColourOf(const_cast<D3DMATERIAL8&>(m), which);
}

MaterialToolsState::MaterialToolsState() : working(EmptyMaterial()) {}

MaterialView MaterialToolsState::Show(const Model& model, std::int32_t current, MaterialColour colour) {
    working = model.MaterialCount() > 0 ? model.GetMaterial(current) : EmptyMaterial();
    texture = working.texture[stage];
    return View(model, current, colour);
}

MaterialView MaterialToolsState::View(const Model& model, std::int32_t current, MaterialColour colour) const {
    MaterialView v;
    const std::int32_t count = model.MaterialCount();
    v.counterText = count > 0 ? std::to_string(current + 1) + "/" + std::to_string(count) : "0/0";
    v.stageText = std::to_string(stage + 1) + "/8";
    v.textureName = TextureNameText(model);
    const D3DCOLORVALUE& c = ColourOf(working.material, colour);
    v.colour = {FormatFixed(c.r, 5), FormatFixed(c.g, 5), FormatFixed(c.b, 5), FormatFixed(c.a, 5)};
    v.power = FormatFixed(working.material.Power, 5);
    return v;
}

std::string MaterialToolsState::TextureNameText(const Model& model) const {
    const char* name = texture >= 0 ? model.TextureName(texture) : nullptr;
    return name ? std::string(name) : "NONE";
}

bool MaterialToolsState::StepMaterial(int delta, const Model& model, std::int32_t& current) {
    if (delta < 0 && current >= 1) {
        --current;
        return true;
    }
    if (delta > 0 && current < model.MaterialCount() - 1) {
        ++current;
        return true;
    }
    return false;
}

void MaterialToolsState::StepStage(int delta) {
    if (delta < 0 && stage > 0) --stage;
    if (delta > 0 && stage < kMaxTextureStages - 1) ++stage;
    texture = working.texture[stage];
}

void MaterialToolsState::StepTexture(int delta, const Model& model) {
    if (delta < 0 && texture >= 0) --texture;
    if (delta > 0 && texture < model.TextureCount() - 1) ++texture;
    working.texture[stage] = texture;
}

void MaterialToolsState::ReadFields(const std::array<std::string, 4>& colour, const std::string& power,
                                    MaterialColour which) {
    ScanField(power, kFieldChars, working.material.Power);
    D3DCOLORVALUE& c = ColourOf(working.material, which);
    float* components[4] = {&c.r, &c.g, &c.b, &c.a};
    for (int i = 0; i < 4; ++i) ScanField(colour[i], kFieldChars, *components[i]);
}

Status MaterialToolsState::Update(Editor& editor, std::int32_t current) const {
    if (current < 0 || current >= editor.model().MaterialCount()) return NoMaterial(current);
    return editor.Run("Update", [&](Model& m, Scene&) {
        m.SetMaterial(current, working);
        return Status::Ok();
    });
}

Status MaterialToolsState::AddTexture(Editor& editor, const std::string& path) {
    std::int32_t index = -1;
    if (Status status = AddModelTexture(editor, path, &index); !status) return status;
    working.texture[stage] = index;
    texture = index;
    return Status::Ok();
}

namespace {

// Runs `change` on material `index` as the command "Update".
template <typename Change>
Status ChangeMaterial(Editor& editor, std::int32_t index, Change change) {
    if (index < 0 || index >= editor.model().MaterialCount()) return NoMaterial(index);
    return editor.Run("Update", [&](Model& m, Scene&) {
        MaterialRecord record = m.GetMaterial(index);
        change(record);
        m.SetMaterial(index, record);
        return Status::Ok();
    });
}

}  // namespace

Status SetMaterialColour(Editor& editor, std::int32_t index, MaterialColour which, const D3DCOLORVALUE& colour) {
    return ChangeMaterial(editor, index, [&](MaterialRecord& r) { ColourOf(r.material, which) = colour; });
}

Status SetMaterialPower(Editor& editor, std::int32_t index, float power) {
    return ChangeMaterial(editor, index, [&](MaterialRecord& r) { r.material.Power = power; });
}

Status SetMaterialTexture(Editor& editor, std::int32_t index, int stage, std::int32_t texture) {
    if (stage < 0 || stage >= kMaxTextureStages) {
        return Status::Error("texture stage " + std::to_string(stage) + " is not within 0..7");
    }
    if (texture < -1 || texture >= editor.model().TextureCount()) {
        return Status::Error("there is no texture " + std::to_string(texture));
    }
    return ChangeMaterial(editor, index, [&](MaterialRecord& r) { r.texture[stage] = texture; });
}

Status SetPowerToAll(Editor& editor, const std::string& text) {
    float power = 0.0f;
    if (!ScanField(text, kFieldChars, power)) return Status::Error("'" + text + "' is not a number");
    return SetPowerToAll(editor, power);
}

Status SetPowerToAll(Editor& editor, float power) {
    if (editor.model().MaterialCount() == 0) return Status::Error("the model has no materials");
    return editor.Run("Set To All", [&](Model& m, Scene&) {
        for (std::int32_t i = 0; i < m.MaterialCount(); ++i) {
            MaterialRecord record = m.GetMaterial(i);
            record.material.Power = power;
            m.SetMaterial(i, record);
        }
        return Status::Ok();
    });
}

Status AddModelTexture(Editor& editor, const std::string& path, std::int32_t* index) {
    if (path.size() >= static_cast<std::size_t>(kTextureNameSize)) {
        return Status::Error("The texture path has " + std::to_string(path.size()) +
                             " characters; texture names hold at most 99, and a shortened path would name "
                             "another file. The texture was not added.");
    }
    if (path.find('\0') != std::string::npos) return Status::Error("the texture path holds a NUL character");
    return editor.Run("Add T", [&](Model& m, Scene&) {
        const std::int32_t added = m.AddTexture(path.c_str());
        if (index) *index = added;
        return Status::Ok();
    });
}

float ToleranceFromValue(float value) {
    float t = std::fabs(value);
    if (t >= 1.0f) t *= 0.01f;
    if (t >= 1.0f) t = 0.001f;
    return t;
}

Status SetTolerance(Editor& editor, const std::string& text, std::string* shown) {
    float value = 0.0f;
    Status status;
    if (!ScanField(text, kToleranceChars, value)) {
        status = Status::Error("'" + text + "' is not a number");
    } else {
        status = SetTolerance(editor, value);
    }
    if (shown) *shown = FormatFixed(editor.model().MaterialTolerance(), 3);
    return status;
}

Status SetTolerance(Editor& editor, float value) {
    return editor.Run("Set", [&](Model& m, Scene&) {
        m.SetMaterialTolerance(ToleranceFromValue(value));
        return Status::Ok();
    });
}

}  // namespace ms
