#include "edit/state_snapshot.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace ms {

struct StateSnapshot::TextureRefs {
    explicit TextureRefs(std::vector<IDirect3DTexture8*> list) : textures(std::move(list)) {
        for (IDirect3DTexture8* t : textures)
            if (t) t->AddRef();
    }
    ~TextureRefs() {
        for (IDirect3DTexture8* t : textures)
            if (t) t->Release();
    }
    TextureRefs(const TextureRefs&) = delete;
    TextureRefs& operator=(const TextureRefs&) = delete;
    std::vector<IDirect3DTexture8*> textures;
};

struct StateSnapshot::Geometry {
    MeshGeometry geometry;
};

namespace {

template <typename T>
bool SameBytes(const std::vector<T>& a, const T* b, std::size_t count) {
    static_assert(std::is_trivially_copyable_v<T>);
    return a.size() == count && (count == 0 || std::memcmp(a.data(), b, count * sizeof(T)) == 0);
}

// The piece for `values`: the previous one when it holds the same values, else a copy.
template <typename T>
StateSnapshot::Piece<T> Share(const std::vector<T>& values, const StateSnapshot::Piece<T>* previous,
                              std::size_t& newBytes) {
    if (previous && *previous && SameBytes(**previous, values.data(), values.size())) return *previous;
    newBytes += values.size() * sizeof(T);
    return std::make_shared<const std::vector<T>>(values);
}

// The chunks of `values`, each shared with the previous snapshot's chunk at the same place when
// it holds the same values.
template <typename T>
std::size_t TotalSize(const StateSnapshot::Chunks<T>& chunks) {
    std::size_t total = 0;
    for (const auto& c : chunks) total += c->size();
    return total;
}

template <typename T>
StateSnapshot::Chunks<T> ShareChunks(const std::vector<T>& values, const StateSnapshot::Chunks<T>* previous,
                                     std::size_t& newBytes, bool trusted) {
    if (trusted && previous && TotalSize(*previous) == values.size()) return *previous;
    constexpr std::size_t per = std::max<std::size_t>(1, StateSnapshot::kChunkBytes / sizeof(T));
    StateSnapshot::Chunks<T> chunks;
    chunks.reserve((values.size() + per - 1) / per);
    for (std::size_t at = 0, k = 0; at < values.size(); at += per, ++k) {
        const std::size_t n = std::min(per, values.size() - at);
        const StateSnapshot::Piece<T>* old = previous && k < previous->size() ? &(*previous)[k] : nullptr;
        if (old && *old && SameBytes(**old, values.data() + at, n)) {
            chunks.push_back(*old);
        } else {
            newBytes += n * sizeof(T);
            chunks.push_back(std::make_shared<const std::vector<T>>(values.begin() + at, values.begin() + at + n));
        }
    }
    return chunks;
}

template <typename T>
void Unchunk(const StateSnapshot::Chunks<T>& chunks, std::vector<T>& out) {
    out.clear();
    out.reserve(TotalSize(chunks));
    for (const auto& c : chunks) out.insert(out.end(), c->begin(), c->end());
}

template <typename Texture>
std::vector<IDirect3DTexture8*> RawTextures(const std::vector<Texture>& textures) {
    std::vector<IDirect3DTexture8*> raw;
    raw.reserve(textures.size());
    for (const Texture& t : textures) raw.push_back(t.get());
    return raw;
}

std::shared_ptr<const StateSnapshot::TextureRefs> ShareTextures(
    const std::vector<TexturePtr>& textures, const std::shared_ptr<const StateSnapshot::TextureRefs>* previous) {
    std::vector<IDirect3DTexture8*> raw = RawTextures(textures);
    if (previous && *previous && (*previous)->textures == raw) return *previous;
    return std::make_shared<const StateSnapshot::TextureRefs>(std::move(raw));
}

// New owning pointers to the texture objects of `refs`, one reference each.
std::vector<TexturePtr> OwnTextures(const StateSnapshot::TextureRefs& refs) {
    std::vector<TexturePtr> out;
    out.reserve(refs.textures.size());
    for (IDirect3DTexture8* t : refs.textures) {
        if (t) t->AddRef();
        out.emplace_back(t);
    }
    return out;
}

bool SameGeometry(const MeshGeometry& a, const MeshGeometry& b) {
    return a.vertexCount == b.vertexCount && a.primitiveCount == b.primitiveCount && a.stride == b.stride &&
           a.fvf == b.fvf && a.primitiveType == b.primitiveType &&
           SameBytes(a.vertices, b.vertices.data(), b.vertices.size()) &&
           SameBytes(a.indices, b.indices.data(), b.indices.size());
}

template <typename T>
bool SameChunks(const StateSnapshot::Chunks<T>& a, const StateSnapshot::Chunks<T>& b) {
    return a == b;  // shared pointers: equal when every chunk is shared
}

}  // namespace

std::shared_ptr<const StateSnapshot> StateSnapshot::Take(const Model& model, const Scene& scene,
                                                         const StateSnapshot* previous, Trust trust) {
    auto s = std::make_shared<StateSnapshot>();
    std::size_t& bytes = s->newBytes_;
    const StateSnapshot* p = previous;
    const bool trusted = trust == Trust::kPools;

    s->frames_ = Share(model.records_.frames, p ? &p->frames_ : nullptr, bytes);
    s->meshNodes_ = Share(model.records_.meshNodes, p ? &p->meshNodes_ : nullptr, bytes);
    s->materials_ = Share(model.records_.materials, p ? &p->materials_ : nullptr, bytes);
    s->textureNames_ = Share(model.records_.textureNames, p ? &p->textureNames_ : nullptr, bytes);
    s->rootTail_ = model.records_.rootTail;
    s->geometries_.reserve(model.geometries_.size());
    const bool believe = trusted && p && model.geometries_.size() == p->geometries_.size();
    for (std::size_t g = 0; g < model.geometries_.size(); ++g) {
        const MeshGeometry& geometry = model.geometries_[g];
        if (p && g < p->geometries_.size() && (believe || SameGeometry(p->geometries_[g]->geometry, geometry))) {
            s->geometries_.push_back(p->geometries_[g]);
        } else {
            bytes += geometry.vertices.size() + geometry.indices.size() * 2 + sizeof(MeshGeometry);
            s->geometries_.push_back(std::make_shared<const Geometry>(Geometry{geometry}));
        }
    }
    s->modelTextures_ = ShareTextures(model.textures_, p ? &p->modelTextures_ : nullptr);
    s->materialTolerance_ = model.materialTolerance_;

    s->sceneTextures_ = ShareTextures(scene.textures, p ? &p->sceneTextures_ : nullptr);
    if (p && p->sceneTextureNames_ && *p->sceneTextureNames_ == scene.textureNames)
        s->sceneTextureNames_ = p->sceneTextureNames_;
    else
        s->sceneTextureNames_ = std::make_shared<const std::vector<std::string>>(scene.textureNames);
    s->bones_ = Share(scene.bones, p ? &p->bones_ : nullptr, bytes);
    s->drawNodes_ = Share(scene.drawNodes, p ? &p->drawNodes_ : nullptr, bytes);
    s->sceneGeometries_ = Share(scene.geometries, p ? &p->sceneGeometries_ : nullptr, bytes);
    s->sceneMaterials_ = Share(scene.materials, p ? &p->sceneMaterials_ : nullptr, bytes);
    s->matrices_ = ShareChunks(scene.matrices, p ? &p->matrices_ : nullptr, bytes, false);
    s->programWords_ = ShareChunks(scene.programWords, p ? &p->programWords_ : nullptr, bytes, trusted);
    s->vertexPool_ = ShareChunks(scene.vertexPool, p ? &p->vertexPool_ : nullptr, bytes, trusted);
    s->indexPool_ = ShareChunks(scene.indexPool, p ? &p->indexPool_ : nullptr, bytes, trusted);
    auto sameEntries = [&](const std::vector<EntryPoint>& a) {
        return a.size() == scene.entryPoints.size() &&
               std::equal(a.begin(), a.end(), scene.entryPoints.begin(), [](const EntryPoint& x, const EntryPoint& y) {
                   return x.name == y.name && x.start == y.start;
               });
    };
    if (p && p->entryPoints_ && sameEntries(*p->entryPoints_))
        s->entryPoints_ = p->entryPoints_;
    else
        s->entryPoints_ = std::make_shared<const std::vector<EntryPoint>>(scene.entryPoints);
    s->boneStates_ = Share(scene.boneStates, p ? &p->boneStates_ : nullptr, bytes);
    s->pickedBone_ = scene.pickedBone;
    return s;
}

void StateSnapshot::Restore(Model& model, Scene& scene) const {
    model.records_.frames = *frames_;
    model.records_.meshNodes = *meshNodes_;
    model.records_.materials = *materials_;
    model.records_.textureNames = *textureNames_;
    model.records_.rootTail = rootTail_;
    model.geometries_.clear();
    model.geometries_.reserve(geometries_.size());
    for (const auto& g : geometries_) model.geometries_.push_back(g->geometry);
    model.textures_ = OwnTextures(*modelTextures_);
    model.materialTolerance_ = materialTolerance_;

    scene.textures = OwnTextures(*sceneTextures_);
    scene.textureNames = *sceneTextureNames_;
    scene.bones = *bones_;
    scene.drawNodes = *drawNodes_;
    scene.geometries = *sceneGeometries_;
    scene.materials = *sceneMaterials_;
    Unchunk(matrices_, scene.matrices);
    Unchunk(programWords_, scene.programWords);
    Unchunk(vertexPool_, scene.vertexPool);
    Unchunk(indexPool_, scene.indexPool);
    scene.entryPoints = *entryPoints_;
    scene.boneStates = *boneStates_;
    scene.pickedBone = pickedBone_;
}

bool StateSnapshot::SameAs(const StateSnapshot& o) const {
    return frames_ == o.frames_ && meshNodes_ == o.meshNodes_ && materials_ == o.materials_ &&
           textureNames_ == o.textureNames_ && rootTail_ == o.rootTail_ && geometries_ == o.geometries_ &&
           modelTextures_ == o.modelTextures_ && materialTolerance_ == o.materialTolerance_ &&
           sceneTextures_ == o.sceneTextures_ && sceneTextureNames_ == o.sceneTextureNames_ && bones_ == o.bones_ &&
           drawNodes_ == o.drawNodes_ && sceneGeometries_ == o.sceneGeometries_ &&
           sceneMaterials_ == o.sceneMaterials_ && SameChunks(matrices_, o.matrices_) &&
           SameChunks(programWords_, o.programWords_) && SameChunks(vertexPool_, o.vertexPool_) &&
           SameChunks(indexPool_, o.indexPool_) && entryPoints_ == o.entryPoints_ && boneStates_ == o.boneStates_ &&
           pickedBone_ == o.pickedBone_;
}

}  // namespace ms
