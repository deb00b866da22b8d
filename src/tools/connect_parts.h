#pragma once
// The pieces that Connect and Connect Shadow share: vertex access, the mesh's world matrix, bone
// parents, palettes and program names, textures and materials, and the addition that collects
// everything one connect appends so that it reaches the Scene at once or not at all.
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "model/model.h"
#include "platform/d3dx/d3dx8math.h"
#include "render/scene.h"
#include "skin/skin_weights.h"
#include "tools/connect.h"
#include "tools/merge_settings.h"
#include "tools/vertex_layout.h"

namespace ms::connect {

// Counts the vertices done over a whole selection and asks the caller whether to go on.
class ProgressCounter {
public:
    ProgressCounter(const ConnectProgress* progress, std::int64_t total) : progress_(progress), total_(total) {}
    // False once the caller asked to cancel.
    bool Advance(std::int64_t vertices);

private:
    const ConnectProgress* progress_;
    std::int64_t total_;
    std::int64_t done_ = 0;
};

Status Cancelled();
bool IsCancelled(const Status& status);

inline float ReadFloat(const std::uint8_t* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void WriteFloat(std::uint8_t* p, float v) { std::memcpy(p, &v, sizeof v); }
inline D3DXVECTOR3 ReadVector(const std::uint8_t* p) { return {ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8)}; }
inline void WriteVector(std::uint8_t* p, const D3DXVECTOR3& v) {
    WriteFloat(p, v.x);
    WriteFloat(p + 4, v.y);
    WriteFloat(p + 8, v.z);
}

// Row vector times matrix: a point with the translation row, a direction without it.
inline D3DXVECTOR3 TransformPoint(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41, v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42,
            v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43};
}
inline D3DXVECTOR3 TransformDirection(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
            v.x * m._13 + v.y * m._23 + v.z * m._33};
}
inline void AddScaled(D3DXVECTOR3& sum, float w, const D3DXVECTOR3& v) {
    sum.x += w * v.x;
    sum.y += w * v.y;
    sum.z += w * v.z;
}
// Divided by its length unless the length is 0.
D3DXVECTOR3 Normalized(const D3DXVECTOR3& v);

// The source mesh of a connect, checked: its geometry, the layout of its FVF, and the indices
// its primitives use (all below the vertex count).
struct Source {
    const MeshGeometry* geometry = nullptr;
    VertexLayout layout;
    std::int64_t indexCount = 0;
};
// Fails, saying why, for a node or geometry that does not exist, a scene without bones, vertices
// that do not match their layout, too few indices or an index beyond the vertices.
Status CheckSource(const Model& model, const Scene& scene, std::int32_t node, Source& source);

// The mean of the positions.
D3DXVECTOR3 Centre(std::span<const D3DXVECTOR3> positions);

// Runs one connect; running out of memory refuses it (nothing reaches the Scene before Commit,
// which appends all or nothing).
template <typename F>
Status Guarded(F connect) {
    try {
        return connect();
    } catch (const std::bad_alloc&) {
        return Status::Error("there is not enough memory");
    }
}

// The picked bone, or -1 when none (or one outside the bones) is picked.
std::int32_t PickedBone(const Scene& scene);

// The world matrix of the frame that owns mesh node `node` (the last frame whose run holds it),
// identity when none does: the frame's matrix times its parent's world matrix, the parent being
// the frame whose first child starts the frame's sibling chain.
D3DXMATRIX MeshWorldMatrix(const Model& model, std::int32_t node);

// The parent of every bone: the bone whose first child starts its sibling chain; for a top bone
// the first top bone of its chain.
std::vector<std::int32_t> BoneParents(const Scene& scene);

// The inverse of bone `bone`'s world matrix; fails when it cannot be inverted.
Status InverseBoneWorld(const Scene& scene, std::int32_t bone, D3DXMATRIX& inverse);

// The bones that the weights use, in order of first appearance over the vertices and their four
// slots, with each bone's position.
struct Palette {
    std::vector<std::int32_t> bones;
    std::vector<std::int32_t> positionOf;  // per bone of the Scene; -1 when not in the palette
};
Palette BuildPalette(std::span<const VertexWeights> weights, std::int32_t boneCount);

// Per palette entry: inverse(world matrix) x inverse(inverse-bind matrix). Fails when either cannot
// be inverted.
Status PaletteMatrices(const Scene& scene, const Palette& palette, std::vector<D3DXMATRIX>& matrices);

// The weights of every position (with its normal, when `normals` is not empty) for `influences`
// influences; reports progress in steps and fails with Cancelled() when asked to.
Status WeighAll(const SkinWeigher& weigher, std::span<const D3DXVECTOR3> positions,
                std::span<const D3DXVECTOR3> normals, int influences, std::vector<VertexWeights>& weights,
                ProgressCounter* progress);

// The weighing of a skinned mesh or shadow: the chosen bone (the picked one, else bone 0), the
// influences its layout gives (blend weights + 1, at most 4), the weights of every vertex from
// the envelopes of the chosen bone's tree, and the palette those weights use.
struct SkinBinding {
    std::int32_t chosen = 0;
    int influences = 1;
    std::vector<VertexWeights> weights;
    Palette palette;
};
Status WeighBinding(const Scene& scene, const Source& source, std::span<const D3DXVECTOR3> positions,
                    std::span<const D3DXVECTOR3> normals, DegenerateNormal degenerate, ProgressCounter* progress,
                    SkinBinding& binding);

// The rest of a skinned binding once its palette was accepted: the palette matrices, the bones'
// parents and the program name `prefix` + influences + palette.
Status PaletteProgram(const Scene& scene, const SkinBinding& binding, const std::string& prefix,
                      std::vector<D3DXMATRIX>& matrices, std::vector<std::int32_t>& parents, std::string& name);

// `prefix` + n, then "_a_b" for each palette entry (bone - chosen, parent - chosen), then "_S".
// Fails when the name would not fit the 1000-byte buffer it is built in.
Status ProgramName(const std::string& prefix, int n, const Palette& palette, const std::vector<std::int32_t>& parents,
                   std::int32_t chosen, std::string& name);
// The PALETTE operands: 2P, then the P pairs (bone - chosen, parent - chosen).
void AppendPaletteWords(const Palette& palette, const std::vector<std::int32_t>& parents, std::int32_t chosen,
                        std::vector<std::uint32_t>& words);

// Opcodes of the draw programs and the render states their programs set.
enum Opcode : std::uint32_t { kEnd = 0, kDraw = 1, kWorld = 3, kPaletteOp = 4, kExtrude = 5, kRenderState = 6 };
constexpr std::uint32_t kVertexBlendState = 151;         // D3DRS_VERTEXBLEND
constexpr std::uint32_t kIndexedBlendState = 167;        // D3DRS_INDEXEDVERTEXBLENDENABLE
constexpr std::uint32_t kZeroWeights = 256;              // D3DVBF_0WEIGHTS
// D3DRS_VERTEXBLEND for n influences: D3DVBF_0WEIGHTS for one, else n - 1.
inline std::uint32_t VertexBlendValue(int n) { return n == 1 ? kZeroWeights : static_cast<std::uint32_t>(n - 1); }

// Everything one connect appends, found before the Scene changes. Indices of new records are
// those they will have once appended.
struct Addition {
    std::vector<std::uint8_t> vertices;
    std::vector<std::uint16_t> indices;
    // Large index lists are written straight into the index pool by Commit instead: `indexCount`
    // words by `writeIndices`, which cannot fail.
    std::size_t indexCount = 0;
    std::function<void(std::uint16_t* out)> writeIndices;
    GeometryRecord geometry{};  // offsets are filled in by Commit

    std::size_t IndexWords() const { return writeIndices ? indexCount : indices.size(); }

    std::vector<std::string> textureNames;  // new texture names and their objects
    std::vector<TexturePtr> textures;
    bool newMaterial = false;
    SceneMaterial material{};
    std::int32_t materialIndex = -1;

    bool newEntry = false;  // a new program: its entry point and words
    EntryPoint entry;
    std::vector<std::uint32_t> words;
    std::int32_t program = -1;

    std::int32_t bone = -1;
    Chain chain = Chain::kMesh;
    ChainPlace place;
    float threshold = 0;
};

// The Scene texture index for a Model texture name: an equal name already in the Scene or the
// addition, else a new name whose texture object is loaded on the Scene's device; when the file
// does not load, `loaded` (the Model's object of that texture, may be null) is shared, else the
// object is kept empty.
std::int32_t AddTextureByName(const Scene& scene, Addition& addition, const char* name,
                              IDirect3DTexture8* loaded = nullptr);
// The SceneMaterial of mesh node `node`'s material (material 0 when its index is outside): an
// equal one of the Scene is shared, else a new one is added.
void AddMaterial(const Model& model, const Scene& scene, std::int32_t node, Addition& addition);
// The entry point named `name`, or -1.
std::int32_t FindEntryPoint(const Scene& scene, const std::string& name);
// Uses the entry point named `name` when there is one, else adds it with `words`.
void AddProgram(const Scene& scene, const std::string& name, std::vector<std::uint32_t> words, Addition& addition);

// Finds the place of the new node in `bone`'s chain, and checks that the pools and arrays keep
// their 32-bit offsets and counts. Fails without a change.
Status PlaceNode(const Scene& scene, std::int32_t bone, Chain chain, float threshold, Addition& addition);

// Appends everything to the Scene and links the new node into its chain. Either all of it is
// appended or, when memory runs out, nothing.
Status Commit(Scene& scene, Addition&& addition);

// Connect and Connect Shadow of one mesh node, counting its vertices on `progress` (may be null).
Status ConnectMesh(const Model& model, Scene& scene, std::int32_t node, float threshold, ProgressCounter* progress);
Status ConnectShadowMesh(const Model& model, Scene& scene, std::int32_t node, float threshold,
                         ProgressCounter* progress);

}  // namespace ms::connect
