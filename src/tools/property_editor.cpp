#include "tools/property_editor.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "edit/editor.h"
#include "model/model.h"
#include "skin/number_text.h"

namespace ms {
namespace {

constexpr std::size_t kValueChars = 31;  // the value field is read up to this many characters

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

std::uint32_t ReadWord(const MeshGeometry& g, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, g.vertices.data() + at, 4);
    return value;
}

// The 32-bit pattern that `text` gives Property `property`.
std::uint32_t ValueBits(int property, const std::string& text, int radix) {
    if (IsIntegerProperty(property)) return ParseRadix(text, radix);
    float value = 0.0f;
    ScanFloat(text, value);  // no number: 0
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

}  // namespace

std::uint32_t BuildTargetFvf(LayoutConverter& layouts, const FvfChoice& choice, int blendCount, int textureCount) {
    layouts.SetFvf(LayoutSlot::kTarget, kKindXyz);
    if (choice.rhw) layouts.MakeRhw();
    if (choice.normal) layouts.AddNormal();
    if (choice.diffuse) layouts.AddDiffuse();
    if (choice.specular) layouts.AddSpecular();
    if (choice.pointSize) layouts.AddPointSize();
    if (choice.blendIndexed) layouts.SetBlend(blendCount, true);
    if (textureCount != 0) layouts.SetTextureCount(textureCount);
    return layouts.target().fvf;
}

std::string FormatRadix(std::uint32_t value, int radix) {
    if (radix != 2 && radix != 16) radix = 10;
    char digits[33];
    int n = 0;
    do {
        const std::uint32_t d = value % static_cast<std::uint32_t>(radix);
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        value /= static_cast<std::uint32_t>(radix);
    } while (value != 0);
    std::reverse(digits, digits + n);
    return std::string(digits, n);
}

std::uint32_t ParseRadix(const std::string& text, int radix) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (radix == 16 && at + 2 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
        DigitValue(text[at + 2]) < 16) {
        at += 2;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; at < text.size() && DigitValue(text[at]) < radix; ++at) {
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(DigitValue(text[at]));
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
    }
    if (overflow) return 0xFFFFFFFFu;
    const auto bits = static_cast<std::uint32_t>(value);
    return negative ? 0u - bits : bits;
}

std::optional<std::int32_t> MaterialIndexFromText(const std::string& text, std::int32_t materialCount) {
    if (materialCount <= 0) return std::nullopt;
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    // A 32-bit signed number (out of range saturates); its magnitude is taken in 64 bits so that
    // the most negative number has one.
    std::int64_t n = 0;
    const std::int64_t limit = negative ? 0x80000000LL : 0x7FFFFFFFLL;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        n = std::min<std::int64_t>(n * 10 + (text[at] - '0'), limit);
    }
    if (n == 0) n = materialCount;
    return static_cast<std::int32_t>((n - 1) % materialCount);
}

Status SetMeshMaterial(Editor& editor, std::int32_t node, const std::string& text, std::int32_t* index) {
    const Model& model = editor.model();
    if (node < 0 || node >= model.MeshNodeCount()) {
        return Status::Error("there is no mesh node " + std::to_string(node));
    }
    const std::optional<std::int32_t> material = MaterialIndexFromText(text, model.MaterialCount());
    if (!material) return Status::Error("the model has no materials");
    if (index) *index = *material;
    return editor.Run("Set", [&](Model& m, Scene&) {
        MeshNode record = m.GetMeshNode(node);
        record.material = *material;
        m.SetMeshNode(node, record);
        return Status::Ok();
    });
}

Status SetVertexValue(Editor& editor, const char* commandName, std::int32_t geometry, std::int32_t dot,
                      int property, const std::string& text, int radix) {
    const MeshGeometry* g = editor.model().Geometry(geometry);
    if (!g) return Status::Error("there is no geometry " + std::to_string(geometry));
    if (Status status = CheckGeometryLayout(*g); !status) return status;
    if (dot < -1 || dot >= g->vertexCount) {
        return Status::Error("vertex " + std::to_string(dot) + " is out of range (the mesh has " +
                             std::to_string(g->vertexCount) + " vertices)");
    }
    const VertexLayout layout = DecodeLayout(g->fvf);
    const std::int32_t offset = property >= 0 && property < kPropertyCount ? layout.Offset(property) : -1;
    if (offset < 0) {
        const char* name = PropertyName(property);
        return Status::Error(std::string("the vertex layout has no ") + (name ? name : "such Property"));
    }
    const std::uint32_t bits = ValueBits(property, text, radix);
    return editor.Run(commandName, [&](Model& m, Scene&) {
        MeshGeometry& target = *m.Geometry(geometry);
        const std::int32_t first = dot < 0 ? 0 : dot;
        const std::int32_t end = dot < 0 ? target.vertexCount : dot + 1;
        for (std::int32_t i = first; i < end; ++i) {
            std::memcpy(target.vertices.data() + static_cast<std::size_t>(i) * layout.stride + offset, &bits, 4);
        }
        return Status::Ok();
    });
}

const MeshGeometry* PropertyEditorState::CurrentGeometry(const Model& model) {
    const MeshGeometry* g = model.Geometry(geometry);
    if (g && layouts.current().fvf != g->fvf) layouts.SetFvf(LayoutSlot::kCurrent, g->fvf);
    return g;
}

MeshInfo PropertyEditorState::Refresh(const Model& model, std::int32_t node) {
    dot = 0;
    property = kPropX;
    MeshInfo info;
    info.materialText = std::to_string(model.MeshNodeMaterial(node) + 1);
    geometry = model.MeshNodeGeometry(node);
    const MeshGeometry* g = model.Geometry(geometry);
    layouts.SetFvf(LayoutSlot::kCurrent, g ? g->fvf : kKindXyz);
    const VertexLayout& l = layouts.current();
    info.checks = {l.normal, l.pointSize, l.diffuse, l.specular, l.rhw(), l.lastBetaIndices};
    // The blend counter shows the layout's weights, four with XYZB4 (its buttons reach 0..3); the
    // texture counter stays within 0..8 also for a layout whose high bits are not supported.
    pendingTextureCount = std::clamp(l.textureCount, 0, kMaxTextureSets);
    pendingBlendCount = l.BlendCount();
    info.textureCount = pendingTextureCount;
    info.blendCount = pendingBlendCount;
    return info;
}

PropertyEditorState::DotView PropertyEditorState::ShowDot(const Model& model) {
    const MeshGeometry* g = CurrentGeometry(model);
    if (!g || g->vertexCount <= 0) return {"NO DOTS", std::string("NO VALUE")};
    dot = std::clamp(dot, 0, g->vertexCount - 1);
    return {std::to_string(dot + 1) + "/" + std::to_string(g->vertexCount), Value(model)};
}

std::optional<std::string> PropertyEditorState::Value(const Model& model) {
    const MeshGeometry* g = CurrentGeometry(model);
    if (!g || dot < 0 || dot >= g->vertexCount) return std::nullopt;
    if (!CheckGeometryLayout(*g)) return std::string("NOT SUPPORTED");
    const std::int32_t offset = property < kPropertyCount ? layouts.current().Offset(property) : -1;
    if (offset < 0) return std::nullopt;
    const std::uint32_t bits = ReadWord(*g, static_cast<std::size_t>(dot) * layouts.current().stride + offset);
    if (IsIntegerProperty(property)) return FormatRadix(bits, radix);
    float value;
    std::memcpy(&value, &bits, 4);
    return FormatFixed(value, 6);
}

void PropertyEditorState::StepDot(int delta, const Model& model) {
    const MeshGeometry* g = CurrentGeometry(model);
    const std::int32_t count = g ? g->vertexCount : 0;
    if (delta < 0 && dot > 0) --dot;
    if (delta > 0 && dot < count - 1) ++dot;
}

bool PropertyEditorState::StepProperty(int direction, const Model& model) {
    CurrentGeometry(model);
    int id = std::clamp(property, 0, kPropertyCount - 1);
    for (int step = 0; step < kPropertyCount; ++step) {
        id = (id + (direction < 0 ? kPropertyCount - 1 : 1)) % kPropertyCount;
        if (layouts.current().Has(id)) {
            property = id;
            return true;
        }
    }
    property = kPropX;
    return false;
}

void PropertyEditorState::StepTextureCount(int delta) {
    pendingTextureCount = std::clamp(pendingTextureCount + delta, 0, kMaxTextureSets);
}

void PropertyEditorState::StepBlendCount(int delta) { pendingBlendCount = std::clamp(pendingBlendCount + delta, 0, 3); }

std::optional<std::string> PropertyEditorState::ChangeRadix(int newRadix, const std::string& text) {
    if (!IsIntegerProperty(property)) return std::nullopt;
    const std::uint32_t value = ParseRadix(text, radix);
    radix = newRadix;
    return FormatRadix(value, radix);
}

Status PropertyEditorState::Set(Editor& editor, const std::string& text, bool allDots) {
    const MeshGeometry* g = CurrentGeometry(editor.model());
    if (!g || g->vertexCount <= 0) return Status::Ok();
    if (Status status = CheckGeometryLayout(*g); !status) return status;
    if (property >= kPropertyCount || !layouts.current().Has(property)) return Status::Ok();
    return SetVertexValue(editor, allDots ? "Set To All Dots" : "Set", geometry, allDots ? -1 : dot, property,
                          text.substr(0, kValueChars), radix);
}

Status PropertyEditorState::UpdateFvf(Editor& editor, const FvfChoice& choice) {
    const MeshGeometry* g = CurrentGeometry(editor.model());
    if (!g) return Status::Ok();
    if (Status status = CheckGeometryLayout(*g); !status) return status;
    BuildTargetFvf(layouts, choice, pendingBlendCount, pendingTextureCount);
    return editor.Run("Update FVF", [&](Model& m, Scene&) { return layouts.ConvertGeometry(*m.Geometry(geometry)); });
}

}  // namespace ms
