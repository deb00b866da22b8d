#pragma once
// The Model: the source model being edited. Five arrays of fixed-size records that refer to one
// another by index (-1 for none): frames, mesh nodes, geometries, materials and textures (a name
// and a texture object each). The records have the byte layout of GMF files.
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "platform/d3d8/d3d8.h"

namespace ms {

constexpr int kNameSize = 32;          // frame, mesh-node and material names, NUL included
constexpr int kTextureNameSize = 100;  // texture file names, NUL included
constexpr int kMaxTextureStages = 8;

struct FrameRecord {
    float matrix[16];  // relative to the parent, row-major, translation in the fourth row
    std::int32_t firstMeshNode;
    std::int32_t meshNodeCount;
    std::int32_t nextSibling;
    std::int32_t firstChild;
    char name[kNameSize];
};

struct MeshNode {
    std::int32_t geometry;
    std::int32_t material;  // -1 when the source named a material that does not exist
    char name[kNameSize];
};

struct MeshGeometry {
    std::vector<std::uint8_t> vertices;  // vertexCount * stride bytes laid out by the FVF
    std::vector<std::uint16_t> indices;  // IndexCount(primitiveType, primitiveCount) indices
    std::int32_t vertexCount = 0;
    std::int32_t primitiveCount = 0;
    std::int32_t stride = 0;
    std::uint32_t fvf = 0;
    std::int32_t primitiveType = 0;
};

struct MaterialRecord {
    D3DMATERIAL8 material;  // diffuse, ambient, specular, emissive, power
    char name[kNameSize];
    std::int32_t texture[kMaxTextureStages];  // texture index per stage, -1 for none
    std::int32_t stageCount;
};

struct TextureName {
    char name[kTextureNameSize];
};

static_assert(sizeof(FrameRecord) == 112);
static_assert(sizeof(MeshNode) == 40);
static_assert(sizeof(MaterialRecord) == 136);
static_assert(sizeof(TextureName) == 100);

// Indices drawn by `count` primitives of a Direct3D primitive type; -1 for an unknown type or a
// negative count.
std::int64_t IndexCount(std::int32_t primitiveType, std::int64_t count);

// Copies `text` into a fixed name field of `size` bytes, cut to size - 1 characters; the rest of
// the field is zero.
void CopyName(char* field, std::size_t size, const char* text);

// Gives `name` (a field of kNameSize bytes) the uniqueness rule of merges: while `taken(name)`,
// replace the name's trailing digits with a counter from `*counter` upwards. An empty name
// becomes `emptyName` first. The counter is cut into the field so the name stays NUL-terminated.
template <typename Taken>
void MakeNameUnique(char* name, const char* emptyName, int* counter, Taken taken);

// The records of a Model, apart from the geometries and texture objects. Loaders build a copy of
// these, extended by the file, and hand it back only when the whole file was read and checked.
struct ModelRecords {
    std::vector<FrameRecord> frames;
    std::vector<MeshNode> meshNodes;
    std::vector<MaterialRecord> materials;
    std::vector<TextureName> textureNames;
    std::int32_t rootTail = -1;

    std::int32_t FindFrame(const char* name) const;
    std::int32_t FindMeshNode(const char* name) const;
};

class Model {
public:
    Model();
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    // Fills the template table and empties every array; leaves the device and the tolerance.
    void Reset();
    // Releases every texture object and frees every array.
    void Clear();
    void SetDevice(IDirect3DDevice8* device) { device_ = device; }
    IDirect3DDevice8* device() const { return device_; }

    // Appends the contents of a file. A file that cannot be opened or fails a check changes
    // nothing; the error says what is wrong and where.
    Status LoadX(const std::string& path);
    Status LoadGmf(const std::string& path);
    // Writes the whole model; on failure the file at `path` is left as it was.
    Status SaveGmf(const std::string& path) const;

    std::int32_t FrameCount() const { return Count(records_.frames); }
    std::int32_t FrameFirstMeshNode(std::int32_t frame) const;
    std::int32_t FrameMeshNodeCount(std::int32_t frame) const;
    std::int32_t FrameNextSibling(std::int32_t frame) const;
    std::int32_t FrameFirstChild(std::int32_t frame) const;
    const char* FrameName(std::int32_t frame) const;
    // Out of range: a copy of frame 0 (zeroes when there are no frames).
    FrameRecord GetFrame(std::int32_t frame) const;

    std::int32_t MeshNodeCount() const { return Count(records_.meshNodes); }
    std::int32_t MeshNodeGeometry(std::int32_t node) const;
    std::int32_t MeshNodeMaterial(std::int32_t node) const;
    const char* MeshNodeName(std::int32_t node) const;
    MeshNode GetMeshNode(std::int32_t node) const;
    std::int32_t SetMeshNode(std::int32_t node, const MeshNode& record);

    std::int32_t GeometryCount() const { return Count(geometries_); }
    MeshGeometry* Geometry(std::int32_t index);
    const MeshGeometry* Geometry(std::int32_t index) const;

    std::int32_t MaterialCount() const { return Count(records_.materials); }
    MaterialRecord GetMaterial(std::int32_t material) const;
    std::int32_t SetMaterial(std::int32_t material, const MaterialRecord& record);

    std::int32_t TextureCount() const { return Count(records_.textureNames); }
    const char* TextureName(std::int32_t texture) const;
    IDirect3DTexture8* Texture(std::int32_t texture) const;
    // Appends a texture name (cut to 99 characters) and creates its texture object from the file;
    // a file that cannot be loaded leaves the object null. Returns the new index.
    std::int32_t AddTexture(const char* fileName);

    std::int32_t FindFrame(const char* name) const { return records_.FindFrame(name); }
    std::int32_t FindMeshNode(const char* name) const { return records_.FindMeshNode(name); }

    std::int32_t RootTail() const { return records_.rootTail; }
    float MaterialTolerance() const { return materialTolerance_; }
    void SetMaterialTolerance(float tolerance) { materialTolerance_ = tolerance; }

    // `.x` template names; slot k holds template number k + 1.
    char TemplateTable[33][30];

private:
    friend class StateSnapshot;  // takes and restores the arrays for undo

    template <typename T>
    static std::int32_t Count(const std::vector<T>& v) { return static_cast<std::int32_t>(v.size()); }
    // Takes the records a loader built (the old ones extended) and appends the new geometries;
    // creates the texture objects of the names beyond the old texture count.
    void CommitLoad(ModelRecords&& records, std::vector<MeshGeometry>&& newGeometries);
    TexturePtr CreateTexture(const char* fileName) const;

    ModelRecords records_;
    std::vector<MeshGeometry> geometries_;
    std::vector<TexturePtr> textures_;
    IDirect3DDevice8* device_ = nullptr;
    float materialTolerance_ = 0.001f;
};

template <typename Taken>
void MakeNameUnique(char* name, const char* emptyName, int* counter, Taken taken) {
    std::size_t length = std::char_traits<char>::length(name);
    if (length == 0) {
        CopyName(name, kNameSize, emptyName);
        length = std::char_traits<char>::length(name);
    } else {
        while (length > 0 && name[length - 1] >= '0' && name[length - 1] <= '9') --length;
    }
    while (taken(name)) {
        std::string digits = std::to_string((*counter)++);
        std::size_t at = std::min<std::size_t>(length, kNameSize - 1 - digits.size());
        CopyName(name + at, kNameSize - at, digits.c_str());
    }
}

}  // namespace ms
