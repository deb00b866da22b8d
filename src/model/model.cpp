#include "model/model.h"

#include <cstring>
#include <filesystem>

#include "platform/d3dx/d3dx8tex.h"

namespace ms {
namespace {

const char* const kTemplateNames[33] = {
    "Header", "Vector", "Coords2d", "Quaternion", "Matrix4x4", "ColorRGBA", "ColorRGB",
    "IndexedColor", "Boolean", "Boolean2d", "Material", "TextureFilename", "MeshFace",
    "MeshFaceWraps", "MeshTextureCoords", "MeshNormals", "MeshVertexColors", "MeshMaterialList",
    "Mesh", "FrameTransformMatrix", "Frame", "FloatKeys", "TimedFloatKeys", "AnimationKey",
    "AnimationOptions", "Animation", "AnimationSet", "Patch", "PatchMesh",
    "VertexDuplicationIndices", "XSkinMeshHeader", "Header", "Header"};

template <typename T>
bool InRange(const std::vector<T>& v, std::int32_t i) {
    return i >= 0 && static_cast<std::size_t>(i) < v.size();
}

template <typename Record>
std::int32_t FindName(const std::vector<Record>& records, const char* name) {
    for (std::size_t i = 0; i < records.size(); ++i)
        if (std::strncmp(records[i].name, name, kNameSize) == 0) return static_cast<std::int32_t>(i);
    return -1;
}

}  // namespace

std::int64_t IndexCount(std::int32_t primitiveType, std::int64_t count) {
    if (count < 0) return -1;
    switch (primitiveType) {
        case D3DPT_POINTLIST: return count;
        case D3DPT_LINELIST: return 2 * count;
        case D3DPT_LINESTRIP: return count + 1;
        case D3DPT_TRIANGLELIST: return 3 * count;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return count + 2;
        default: return -1;
    }
}

void CopyName(char* field, std::size_t size, const char* text) {
    std::size_t length = strnlen(text, size - 1);
    std::memcpy(field, text, length);
    std::memset(field + length, 0, size - length);
}

std::int32_t ModelRecords::FindFrame(const char* name) const { return FindName(frames, name); }
std::int32_t ModelRecords::FindMeshNode(const char* name) const { return FindName(meshNodes, name); }

std::string TextureFilePath(const std::string& ownerPath, const std::string& name) {
    const std::filesystem::path file(name);
    if (name.empty() || file.is_absolute()) return name;
    const std::filesystem::path folder = std::filesystem::path(ownerPath).parent_path();
    return folder.empty() ? name : (folder / file).string();
}

Model::Model() { Reset(); }

void Model::Swap(Model& other) {
    std::swap(records_, other.records_);
    std::swap(geometries_, other.geometries_);
    std::swap(textures_, other.textures_);
    std::swap(TemplateTable, other.TemplateTable);
}

Model::~Model() { Clear(); }

void Model::Reset() {
    for (int k = 0; k < 33; ++k) CopyName(TemplateTable[k], sizeof TemplateTable[k], kTemplateNames[k]);
    records_ = ModelRecords();
    geometries_.clear();
    textures_.clear();
}

void Model::Clear() {
    textures_.clear();  // releases every texture object
    records_ = ModelRecords();
    geometries_.clear();
    geometries_.shrink_to_fit();
}

std::int32_t Model::FrameFirstMeshNode(std::int32_t f) const {
    return InRange(records_.frames, f) ? records_.frames[f].firstMeshNode : -1;
}
std::int32_t Model::FrameMeshNodeCount(std::int32_t f) const {
    return InRange(records_.frames, f) ? records_.frames[f].meshNodeCount : 0;
}
std::int32_t Model::FrameNextSibling(std::int32_t f) const {
    return InRange(records_.frames, f) ? records_.frames[f].nextSibling : -1;
}
std::int32_t Model::FrameFirstChild(std::int32_t f) const {
    return InRange(records_.frames, f) ? records_.frames[f].firstChild : -1;
}
const char* Model::FrameName(std::int32_t f) const {
    return InRange(records_.frames, f) ? records_.frames[f].name : nullptr;
}
FrameRecord Model::GetFrame(std::int32_t f) const {
    if (InRange(records_.frames, f)) return records_.frames[f];
    return records_.frames.empty() ? FrameRecord{} : records_.frames[0];
}

std::int32_t Model::MeshNodeGeometry(std::int32_t n) const {
    return InRange(records_.meshNodes, n) ? records_.meshNodes[n].geometry : -1;
}
std::int32_t Model::MeshNodeMaterial(std::int32_t n) const {
    return InRange(records_.meshNodes, n) ? records_.meshNodes[n].material : -1;
}
const char* Model::MeshNodeName(std::int32_t n) const {
    return InRange(records_.meshNodes, n) ? records_.meshNodes[n].name : nullptr;
}
MeshNode Model::GetMeshNode(std::int32_t n) const {
    if (InRange(records_.meshNodes, n)) return records_.meshNodes[n];
    return records_.meshNodes.empty() ? MeshNode{} : records_.meshNodes[0];
}
std::int32_t Model::SetMeshNode(std::int32_t n, const MeshNode& record) {
    if (!InRange(records_.meshNodes, n)) return -1;
    records_.meshNodes[n] = record;
    return n;
}

MeshGeometry* Model::Geometry(std::int32_t g) { return InRange(geometries_, g) ? &geometries_[g] : nullptr; }
const MeshGeometry* Model::Geometry(std::int32_t g) const {
    return InRange(geometries_, g) ? &geometries_[g] : nullptr;
}

MaterialRecord Model::GetMaterial(std::int32_t m) const {
    if (InRange(records_.materials, m)) return records_.materials[m];
    return records_.materials.empty() ? MaterialRecord{} : records_.materials[0];
}
std::int32_t Model::SetMaterial(std::int32_t m, const MaterialRecord& record) {
    if (!InRange(records_.materials, m)) return -1;
    records_.materials[m] = record;
    return m;
}

const char* Model::TextureName(std::int32_t t) const {
    return InRange(records_.textureNames, t) ? records_.textureNames[t].name : nullptr;
}
IDirect3DTexture8* Model::Texture(std::int32_t t) const {
    return InRange(textures_, t) ? textures_[t].get() : nullptr;
}

std::int32_t Model::AddTexture(const char* fileName) {
    ms::TextureName entry;
    CopyName(entry.name, sizeof entry.name, fileName);
    records_.textureNames.push_back(entry);
    textures_.push_back(CreateTexture(entry.name));
    return TextureCount() - 1;
}

TexturePtr Model::CreateTexture(const std::string& fileName) const {
    IDirect3DTexture8* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(device_, fileName.c_str(), &texture))) return nullptr;
    return TexturePtr(texture);
}

void Model::CommitLoad(ModelRecords&& records, std::vector<MeshGeometry>&& newGeometries, const std::string& path) {
    std::size_t oldTextures = textures_.size();
    records_ = std::move(records);
    geometries_.reserve(geometries_.size() + newGeometries.size());
    for (auto& g : newGeometries) geometries_.push_back(std::move(g));
    textures_.resize(records_.textureNames.size());
    for (std::size_t t = oldTextures; t < textures_.size(); ++t)
        textures_[t] = CreateTexture(TextureFilePath(path, records_.textureNames[t].name));
}

}  // namespace ms
