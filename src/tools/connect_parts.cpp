#include "tools/connect_parts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "platform/d3dx/d3dx8tex.h"
#include "skin/bones.h"

namespace ms::connect {
namespace {

constexpr std::size_t kNameBuffer = 1000;      // program names are built in a buffer of this size
constexpr std::size_t kWeighStep = 1 << 16;    // vertices weighed between progress reports
constexpr const char* kCancelled = "cancelled";

bool InRange(std::int64_t i, std::size_t size) { return i >= 0 && static_cast<std::uint64_t>(i) < size; }

// The indices a geometry's primitives use: for an unknown type as many as primitives.
std::int64_t UsedIndexCount(const MeshGeometry& g) {
    const std::int64_t count = IndexCount(g.primitiveType, g.primitiveCount);
    return count >= 0 ? count : std::max<std::int64_t>(g.primitiveCount, 0);
}

bool SameMaterial(const SceneMaterial& a, const SceneMaterial& b) {
    if (a.stageCount != b.stageCount) return false;
    for (std::int32_t s = 0; s < a.stageCount && s < kMaxTextureStages; ++s)
        if (a.texture[s] != b.texture[s]) return false;
    float fa[17], fb[17];
    static_assert(sizeof(D3DMATERIAL8) == sizeof fa);
    std::memcpy(fa, &a.material, sizeof fa);
    std::memcpy(fb, &b.material, sizeof fb);
    for (int i = 0; i < 17; ++i)
        if (!(fa[i] == fb[i])) return false;
    return true;
}

template <typename T>
bool Fits32(std::size_t size, std::size_t more) {
    return size + more <= static_cast<std::size_t>(std::numeric_limits<T>::max());
}

template <typename T>
void AppendMoved(std::vector<T>& to, std::vector<T>& from) {
    for (T& item : from) to.push_back(std::move(item));
}

}  // namespace

bool ProgressCounter::Advance(std::int64_t vertices) {
    done_ += vertices;
    return !progress_ || !*progress_ || (*progress_)(std::min(done_, total_), total_);
}

Status Cancelled() { return Status::Error(kCancelled); }
bool IsCancelled(const Status& status) { return !status && status.message() == kCancelled; }

D3DXVECTOR3 Normalized(const D3DXVECTOR3& v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length == 0.0f) return v;
    return {v.x / length, v.y / length, v.z / length};
}

D3DXVECTOR3 Centre(std::span<const D3DXVECTOR3> positions) {
    double sum[3] = {0, 0, 0};
    for (const D3DXVECTOR3& p : positions) {
        sum[0] += p.x;
        sum[1] += p.y;
        sum[2] += p.z;
    }
    const auto count = static_cast<double>(positions.size());
    return {static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count), static_cast<float>(sum[2] / count)};
}

std::int32_t PickedBone(const Scene& scene) {
    const std::int32_t b = scene.pickedBone;
    return b >= 0 && b < scene.BoneCount() ? b : -1;
}

Status CheckSource(const Model& model, const Scene& scene, std::int32_t node, Source& source) {
    if (node < 0 || node >= model.MeshNodeCount())
        return Status::Error("mesh node " + std::to_string(node) + " does not exist");
    if (scene.BoneCount() == 0) return Status::Error("the scene has no bones");
    const std::int32_t g = model.MeshNodeGeometry(node);
    source.geometry = model.Geometry(g);
    if (!source.geometry) return Status::Error("its geometry " + std::to_string(g) + " does not exist");
    const MeshGeometry& geometry = *source.geometry;
    if (Status s = CheckGeometryLayout(geometry); !s) return s;
    source.layout = DecodeLayout(geometry.fvf);
    if (geometry.primitiveCount < 0)
        return Status::Error("its primitive count " + std::to_string(geometry.primitiveCount) + " is negative");
    source.indexCount = UsedIndexCount(geometry);
    if (static_cast<std::uint64_t>(source.indexCount) > geometry.indices.size())
        return Status::Error("its " + std::to_string(geometry.primitiveCount) + " primitives need " +
                             std::to_string(source.indexCount) + " indices, it holds " +
                             std::to_string(geometry.indices.size()));
    const auto vertexCount = static_cast<std::uint32_t>(geometry.vertexCount);
    for (std::int64_t i = 0; i < source.indexCount; ++i) {
        if (geometry.indices[static_cast<std::size_t>(i)] >= vertexCount)
            return Status::Error("index " + std::to_string(i) + " refers to vertex " +
                                 std::to_string(geometry.indices[static_cast<std::size_t>(i)]) + " of " +
                                 std::to_string(vertexCount));
    }
    return Status::Ok();
}

D3DXMATRIX MeshWorldMatrix(const Model& model, std::int32_t node) {
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    const std::int32_t count = model.FrameCount();
    std::int32_t owner = -1;
    for (std::int32_t f = 0; f < count; ++f) {
        const std::int64_t first = model.FrameFirstMeshNode(f);
        if (first >= 0 && node >= first && node < first + model.FrameMeshNodeCount(f)) owner = f;
    }
    if (owner < 0) return world;

    // Who leads to whom: the frame before each in its sibling chain, and the frame whose first
    // child each is. A walk up takes at most one step per frame, so damaged links cannot loop.
    std::vector<std::int32_t> previous(static_cast<std::size_t>(count), -1), parent(previous);
    for (std::int32_t f = 0; f < count; ++f) {
        const std::int32_t next = model.FrameNextSibling(f), child = model.FrameFirstChild(f);
        if (InRange(next, previous.size()) && previous[static_cast<std::size_t>(next)] < 0)
            previous[static_cast<std::size_t>(next)] = f;
        if (InRange(child, parent.size()) && parent[static_cast<std::size_t>(child)] < 0)
            parent[static_cast<std::size_t>(child)] = f;
    }
    std::int32_t steps = 0;
    for (std::int32_t f = owner; f >= 0 && steps <= count; ++steps) {
        D3DXMATRIX local;
        std::memcpy(&local, model.GetFrame(f).matrix, sizeof local);
        D3DXMatrixMultiply(&world, &world, &local);  // world = (... x local of a child) x local of its parent
        std::int32_t first = f;
        for (std::int32_t back = 0; previous[static_cast<std::size_t>(first)] >= 0 && back <= count; ++back)
            first = previous[static_cast<std::size_t>(first)];
        f = parent[static_cast<std::size_t>(first)];
    }
    return world;
}

std::vector<std::int32_t> BoneParents(const Scene& scene) {
    const std::size_t count = scene.bones.size();
    std::vector<std::int32_t> previous(count, -1), parentOfFirst(count, -1), parents(count, -1);
    for (std::size_t b = 0; b < count; ++b) {
        const std::int32_t next = scene.bones[b].nextSibling, child = scene.bones[b].firstChild;
        if (InRange(next, count) && previous[static_cast<std::size_t>(next)] < 0)
            previous[static_cast<std::size_t>(next)] = static_cast<std::int32_t>(b);
        if (InRange(child, count) && parentOfFirst[static_cast<std::size_t>(child)] < 0)
            parentOfFirst[static_cast<std::size_t>(child)] = static_cast<std::int32_t>(b);
    }
    for (std::size_t b = 0; b < count; ++b) {
        auto first = static_cast<std::int32_t>(b);
        for (std::size_t steps = 0; previous[static_cast<std::size_t>(first)] >= 0 && steps <= count; ++steps)
            first = previous[static_cast<std::size_t>(first)];
        const std::int32_t parent = parentOfFirst[static_cast<std::size_t>(first)];
        parents[b] = parent >= 0 ? parent : first;
    }
    return parents;
}

Status InverseBoneWorld(const Scene& scene, std::int32_t bone, D3DXMATRIX& inverse) {
    const D3DXMATRIX world = SceneMatrix(scene, scene.bones[static_cast<std::size_t>(bone)].world);
    if (!D3DXMatrixInverse(&inverse, nullptr, &world))
        return Status::Error("the world matrix of bone " + std::to_string(bone) + " cannot be inverted");
    return Status::Ok();
}

Palette BuildPalette(std::span<const VertexWeights> weights, std::int32_t boneCount) {
    Palette p;
    p.positionOf.assign(static_cast<std::size_t>(std::max(boneCount, 0)), -1);
    for (const VertexWeights& w : weights) {
        for (std::int32_t bone : w.bone) {
            if (!InRange(bone, p.positionOf.size())) continue;  // the weigher gives only bones of the Scene
            std::int32_t& position = p.positionOf[static_cast<std::size_t>(bone)];
            if (position >= 0) continue;
            position = static_cast<std::int32_t>(p.bones.size());
            p.bones.push_back(bone);
        }
    }
    return p;
}

Status PaletteMatrices(const Scene& scene, const Palette& palette, std::vector<D3DXMATRIX>& matrices) {
    matrices.clear();
    for (std::int32_t bone : palette.bones) {
        D3DXMATRIX toBone, fromBind;
        if (Status s = InverseBoneWorld(scene, bone, toBone); !s) return s;
        const D3DXMATRIX inverseBind = SceneMatrix(scene, scene.bones[static_cast<std::size_t>(bone)].inverseBind);
        if (!D3DXMatrixInverse(&fromBind, nullptr, &inverseBind))
            return Status::Error("the inverse bind matrix of bone " + std::to_string(bone) + " cannot be inverted");
        D3DXMATRIX m;
        D3DXMatrixMultiply(&m, &toBone, &fromBind);
        matrices.push_back(m);
    }
    return Status::Ok();
}

Status WeighBinding(const Scene& scene, const Source& source, std::span<const D3DXVECTOR3> positions,
                    std::span<const D3DXVECTOR3> normals, DegenerateNormal degenerate, ProgressCounter* progress,
                    SkinBinding& b) {
    const std::int32_t picked = PickedBone(scene);
    b.chosen = picked >= 0 ? picked : 0;
    b.influences = std::clamp(source.layout.BlendCount() + 1, 1, 4);
    const SkinWeigher weigher(scene, b.chosen, degenerate);
    if (Status s = WeighAll(weigher, positions, normals, b.influences, b.weights, progress); !s) return s;
    b.palette = BuildPalette(b.weights, scene.BoneCount());
    return Status::Ok();
}

Status PaletteProgram(const Scene& scene, const SkinBinding& b, const std::string& prefix,
                      std::vector<D3DXMATRIX>& matrices, std::vector<std::int32_t>& parents, std::string& name) {
    if (Status s = PaletteMatrices(scene, b.palette, matrices); !s) return s;
    parents = BoneParents(scene);
    return ProgramName(prefix, b.influences, b.palette, parents, b.chosen, name);
}

Status WeighAll(const SkinWeigher& weigher, std::span<const D3DXVECTOR3> positions,
                std::span<const D3DXVECTOR3> normals, int influences, std::vector<VertexWeights>& weights,
                ProgressCounter* progress) {
    weights.resize(positions.size());
    for (std::size_t first = 0; first < positions.size(); first += kWeighStep) {
        const std::size_t n = std::min(kWeighStep, positions.size() - first);
        WeighVertices(weigher, positions.subspan(first, n), normals.empty() ? normals : normals.subspan(first, n),
                      influences, std::span<VertexWeights>(weights).subspan(first, n));
        if (progress && !progress->Advance(static_cast<std::int64_t>(n))) return Cancelled();
    }
    return Status::Ok();
}

Status ProgramName(const std::string& prefix, int n, const Palette& palette, const std::vector<std::int32_t>& parents,
                   std::int32_t chosen, std::string& name) {
    name = prefix + std::to_string(n);
    for (std::int32_t bone : palette.bones) {
        name += "_" + std::to_string(static_cast<std::int64_t>(bone) - chosen);
        name += "_" + std::to_string(static_cast<std::int64_t>(parents[static_cast<std::size_t>(bone)]) - chosen);
        if (name.size() + 2 >= kNameBuffer) break;
    }
    name += "_S";
    if (name.size() >= kNameBuffer)
        return Status::Error("its program name for a palette of " + std::to_string(palette.bones.size()) +
                             " bones would be longer than " + std::to_string(kNameBuffer - 1) + " characters");
    return Status::Ok();
}

void AppendPaletteWords(const Palette& palette, const std::vector<std::int32_t>& parents, std::int32_t chosen,
                        std::vector<std::uint32_t>& words) {
    words.push_back(kPaletteOp);
    words.push_back(static_cast<std::uint32_t>(2 * palette.bones.size()));
    for (std::int32_t bone : palette.bones) {
        words.push_back(static_cast<std::uint32_t>(bone - chosen));
        words.push_back(static_cast<std::uint32_t>(parents[static_cast<std::size_t>(bone)] - chosen));
    }
}

std::int32_t AddTextureByName(const Scene& scene, Addition& addition, const char* name, IDirect3DTexture8* loaded) {
    const std::string text(name, strnlen(name, kTextureNameSize));
    for (std::size_t t = 0; t < scene.textureNames.size(); ++t)
        if (scene.textureNames[t] == text) return static_cast<std::int32_t>(t);
    for (std::size_t t = 0; t < addition.textureNames.size(); ++t)
        if (addition.textureNames[t] == text) return static_cast<std::int32_t>(scene.textureNames.size() + t);
    IDirect3DTexture8* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(scene.device, text.c_str(), &texture))) texture = nullptr;
    // A relative name is found from the working folder, the Model's textures next to their model
    // file: when the name does not load from here, the Model's object of it is shared.
    if (!texture && loaded) {
        loaded->AddRef();
        texture = loaded;
    }
    addition.textures.emplace_back(texture);
    addition.textureNames.push_back(text);
    return static_cast<std::int32_t>(scene.textureNames.size() + addition.textureNames.size() - 1);
}

void AddMaterial(const Model& model, const Scene& scene, std::int32_t node, Addition& addition) {
    std::int32_t index = model.MeshNodeMaterial(node);
    if (index < 0 || index >= model.MaterialCount()) index = 0;
    const MaterialRecord record = model.GetMaterial(index);
    SceneMaterial& m = addition.material;
    m.material = record.material;
    m.stageCount = std::clamp<std::int32_t>(record.stageCount, 0, kMaxTextureStages);
    for (std::int32_t s = 0; s < kMaxTextureStages; ++s) {
        const std::int32_t t = s < m.stageCount ? record.texture[s] : -1;
        const bool valid = t >= 0 && t < model.TextureCount();
        IDirect3DTexture8* loaded = valid && model.device() == scene.device ? model.Texture(t) : nullptr;
        m.texture[s] = valid ? AddTextureByName(scene, addition, model.TextureName(t), loaded) : -1;
    }
    for (std::size_t i = 0; i < scene.materials.size(); ++i) {
        if (SameMaterial(scene.materials[i], m)) {
            addition.materialIndex = static_cast<std::int32_t>(i);
            return;
        }
    }
    addition.newMaterial = true;
    addition.materialIndex = static_cast<std::int32_t>(scene.materials.size());
}

std::int32_t FindEntryPoint(const Scene& scene, const std::string& name) {
    for (std::size_t e = 0; e < scene.entryPoints.size(); ++e)
        if (scene.entryPoints[e].name == name) return static_cast<std::int32_t>(e);
    return -1;
}

void AddProgram(const Scene& scene, const std::string& name, std::vector<std::uint32_t> words, Addition& addition) {
    addition.program = FindEntryPoint(scene, name);
    if (addition.program >= 0) return;
    addition.newEntry = true;
    addition.entry = {name, static_cast<std::uint32_t>(scene.programWords.size())};
    addition.words = std::move(words);
    addition.program = static_cast<std::int32_t>(scene.entryPoints.size());
}

Status PlaceNode(const Scene& scene, std::int32_t bone, Chain chain, float threshold, Addition& addition) {
    addition.bone = bone;
    addition.chain = chain;
    addition.threshold = threshold;
    if (Status s = FindChainPlace(scene.drawNodes, ChainHead(scene, bone, chain), threshold, false, addition.place); !s)
        return Status::Error("bone " + std::to_string(bone) + ": " + s.message());
    using Offset = std::uint32_t;
    using Count = std::int32_t;
    if (!Fits32<Offset>(scene.vertexPool.size(), addition.vertices.size()) ||
        !Fits32<Offset>(scene.indexPool.size(), addition.IndexWords()) ||
        !Fits32<Offset>(scene.programWords.size(), addition.words.size()) ||
        !Fits32<Count>(scene.textureNames.size(), addition.textureNames.size()) ||
        !Fits32<Count>(scene.geometries.size(), 1) || !Fits32<Count>(scene.materials.size(), 1) ||
        !Fits32<Count>(scene.entryPoints.size(), 1) || !Fits32<Count>(scene.drawNodes.size(), 1))
        return Status::Error("the scene would grow beyond the 32-bit offsets and counts of its files");
    return Status::Ok();
}

Status Commit(Scene& scene, Addition&& a) {
    // Room for everything first: once every array has its room, the appends below cannot fail.
    try {
        scene.vertexPool.reserve(scene.vertexPool.size() + a.vertices.size());
        scene.indexPool.reserve(scene.indexPool.size() + a.IndexWords());
        scene.textureNames.reserve(scene.textureNames.size() + a.textureNames.size());
        scene.textures.reserve(scene.textures.size() + a.textures.size());
        scene.geometries.reserve(scene.geometries.size() + 1);
        scene.materials.reserve(scene.materials.size() + 1);
        scene.entryPoints.reserve(scene.entryPoints.size() + 1);
        scene.programWords.reserve(scene.programWords.size() + a.words.size());
        scene.drawNodes.reserve(scene.drawNodes.size() + 1);
    } catch (const std::bad_alloc&) {
        return Status::Error("there is not enough memory");
    }
    a.geometry.vertexOffset = static_cast<std::uint32_t>(scene.vertexPool.size());
    a.geometry.firstIndex = static_cast<std::uint32_t>(scene.indexPool.size());
    scene.vertexPool.insert(scene.vertexPool.end(), a.vertices.begin(), a.vertices.end());
    if (a.writeIndices) {
        scene.indexPool.resize(scene.indexPool.size() + a.indexCount);
        a.writeIndices(scene.indexPool.data() + a.geometry.firstIndex);
    } else {
        scene.indexPool.insert(scene.indexPool.end(), a.indices.begin(), a.indices.end());
    }
    const auto geometry = static_cast<std::int32_t>(scene.geometries.size());
    scene.geometries.push_back(a.geometry);
    AppendMoved(scene.textureNames, a.textureNames);
    AppendMoved(scene.textures, a.textures);
    if (a.newMaterial) scene.materials.push_back(a.material);
    if (a.newEntry) {
        scene.entryPoints.push_back(std::move(a.entry));
        scene.programWords.insert(scene.programWords.end(), a.words.begin(), a.words.end());
    }
    const DrawNode node{-1, -1, geometry, a.materialIndex, a.program, a.threshold};
    BoneRecord& bone = scene.bones[static_cast<std::size_t>(a.bone)];
    std::int32_t& head = a.chain == Chain::kMesh ? bone.firstMeshNode : bone.firstShadowNode;
    head = InsertAt(scene.drawNodes, head, a.place, node);
    return Status::Ok();
}

}  // namespace ms::connect
