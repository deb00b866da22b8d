// The batch actions of vertex layouts, the property editor and the material tools.
#include <charconv>
#include <cmath>
#include <ostream>

#include "base/json.h"
#include "batch/batch.h"
#include "tools/material_tools.h"
#include "tools/property_editor.h"
#include "tools/vertex_layout.h"

namespace ms {
namespace {

using Args = std::span<const std::string>;

// Whole-word numbers: anything after the number is an error.
bool ParseU32(const std::string& text, std::uint32_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    return error == std::errc() && end == last && first != last;
}

bool ParseI32(const std::string& text, std::int32_t& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// A finite decimal number: "inf" and "nan", which no edit field lets in, are refused too.
bool ParseFloat(const std::string& text, float& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() && std::isfinite(value);
}

Status NotA(const char* what, const std::string& text) {
    return Status::Error("'" + text + "' is not " + what);
}

Status FindMesh(const BatchContext& c, const std::string& name, std::int32_t& geometry, std::int32_t* node = nullptr) {
    const std::int32_t n = c.model.FindMeshNode(name.c_str());
    if (n < 0) return Status::Error("no mesh node named '" + name + "'");
    if (node) *node = n;
    geometry = c.model.MeshNodeGeometry(n);
    if (!c.model.Geometry(geometry)) return Status::Error("mesh node '" + name + "' has no geometry");
    return Status::Ok();
}

Status LayoutAction(BatchContext& c, Args args) {
    std::uint32_t fvf = 0;
    if (!ParseU32(args[0], fvf)) return NotA("an FVF (decimal or 0x hexadecimal)", args[0]);
    const VertexLayout l = DecodeLayout(fvf);
    Json offsets = Json::object();
    for (int id = 0; id < kPropertyCount; ++id) {
        if (l.Has(id)) offsets[PropertyName(id)] = l.Offset(id);
    }
    Json out = {{"fvf", fvf},           {"valid", l.valid},
                {"stride", l.stride},   {"blendCount", l.BlendCount()},
                {"textureCount", l.textureCount}, {"offsets", offsets}};
    c.out << out.dump(2) << "\n";
    return Status::Ok();
}

Status ConvertFvfAction(BatchContext& c, Args args) {
    std::int32_t geometry = -1;
    if (Status s = FindMesh(c, args[0], geometry); !s) return s;
    std::uint32_t fvf = 0;
    if (!ParseU32(args[1], fvf)) return NotA("an FVF (decimal or 0x hexadecimal)", args[1]);
    LayoutConverter layouts;
    if (!layouts.SetFvf(LayoutSlot::kTarget, fvf)) {
        return Status::Error("the vertex layout " + args[1] + " is not supported");
    }
    return c.editor.Run("Update FVF", [&](Model& m, Scene&) { return layouts.ConvertGeometry(*m.Geometry(geometry)); });
}

Status SetVertexAction(BatchContext& c, Args args) {
    std::int32_t geometry = -1;
    if (Status s = FindMesh(c, args[0], geometry); !s) return s;
    std::int32_t dot = -1;
    const bool all = args[1] == "all";
    if (!all && (!ParseI32(args[1], dot) || dot < 0)) return NotA("a vertex number or 'all'", args[1]);
    const int property = FindProperty(args[2].c_str());
    if (property < 0 || property >= kPropertyCount) return Status::Error("no Property named '" + args[2] + "'");
    const std::string& value = args[3];
    int radix = 10;
    if (IsIntegerProperty(property)) {
        std::uint32_t bits = 0;
        if (!ParseU32(value, bits)) return NotA("an unsigned 32-bit number (decimal or 0x hexadecimal)", value);
        radix = value.size() > 2 && (value[1] == 'x' || value[1] == 'X') ? 16 : 10;
    } else {
        float f = 0.0f;
        if (!ParseFloat(value, f)) return NotA("a decimal number", value);
    }
    return SetVertexValue(c.editor, all ? "Set To All Dots" : "Set", geometry, all ? -1 : dot, property, value, radix);
}

Status MeshMaterialAction(BatchContext& c, Args args) {
    std::int32_t geometry = -1, node = -1, n = 0;
    if (Status s = FindMesh(c, args[0], geometry, &node); !s) return s;
    if (!ParseI32(args[1], n)) return NotA("a whole number", args[1]);
    return SetMeshMaterial(c.editor, node, args[1]);
}

Status ParseMaterial(const BatchContext& c, const std::string& text, std::int32_t& index) {
    if (!ParseI32(text, index)) return NotA("a material index", text);
    if (index < 0 || index >= c.model.MaterialCount()) return Status::Error("there is no material " + text);
    return Status::Ok();
}

Status MaterialColourAction(BatchContext& c, Args args) {
    std::int32_t index = 0;
    if (Status s = ParseMaterial(c, args[0], index); !s) return s;
    const std::optional<MaterialColour> which = MaterialColourFromName(args[1]);
    if (!which) return Status::Error("'" + args[1] + "' is not diffuse, ambient, specular or emissive");
    float rgba[4];
    for (int i = 0; i < 4; ++i) {
        if (!ParseFloat(args[2 + i], rgba[i])) return NotA("a decimal number", args[2 + i]);
    }
    return SetMaterialColour(c.editor, index, *which, {rgba[0], rgba[1], rgba[2], rgba[3]});
}

Status MaterialPowerAction(BatchContext& c, Args args) {
    std::int32_t index = 0;
    float power = 0.0f;
    if (Status s = ParseMaterial(c, args[0], index); !s) return s;
    if (!ParseFloat(args[1], power)) return NotA("a decimal number", args[1]);
    return SetMaterialPower(c.editor, index, power);
}

Status MaterialTextureAction(BatchContext& c, Args args) {
    std::int32_t index = 0, stage = 0, texture = 0;
    if (Status s = ParseMaterial(c, args[0], index); !s) return s;
    if (!ParseI32(args[1], stage)) return NotA("a texture stage", args[1]);
    if (!ParseI32(args[2], texture)) return NotA("a texture index", args[2]);
    return SetMaterialTexture(c.editor, index, stage, texture);
}

Status PowerToAllAction(BatchContext& c, Args args) {
    float power = 0.0f;
    if (!ParseFloat(args[0], power)) return NotA("a decimal number", args[0]);
    return SetPowerToAll(c.editor, power);
}

Status AddTextureAction(BatchContext& c, Args args) { return AddModelTexture(c.editor, args[0]); }

Status ToleranceAction(BatchContext& c, Args args) {
    float value = 0.0f;
    if (!ParseFloat(args[0], value)) return NotA("a decimal number", args[0]);
    return SetTolerance(c.editor, value);
}

const BatchAction kLayoutActions[] = {
    {"layout", 1, 1, "FVF", LayoutAction},
    {"convert-fvf", 2, 2, "MESH FVF", ConvertFvfAction},
    {"set-vertex", 4, 4, "MESH DOT|all PROPERTY VALUE", SetVertexAction},
    {"mesh-material", 2, 2, "MESH N", MeshMaterialAction},
    {"material-colour", 6, 6, "INDEX diffuse|ambient|specular|emissive R G B A", MaterialColourAction},
    {"material-power", 2, 2, "INDEX P", MaterialPowerAction},
    {"material-texture", 3, 3, "INDEX STAGE TEXTURE", MaterialTextureAction},
    {"power-to-all", 1, 1, "P", PowerToAllAction},
    {"add-texture", 1, 1, "PATH", AddTextureAction},
    {"tolerance", 1, 1, "VALUE", ToleranceAction},
};

}  // namespace

std::span<const BatchAction> LayoutActions() { return kLayoutActions; }

}  // namespace ms
