#pragma once
// A snapshot of everything that an edit can change in the Model and the Scene. Its arrays are
// held as immutable pieces behind shared pointers: a snapshot taken after another shares every
// piece that did not change, so a history of many steps over a large Scene holds the large pools
// once. The big pools are cut into chunks, so that an append copies only the chunks it touched.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"
#include "render/scene.h"

namespace ms {

class StateSnapshot {
public:
    // How much of `previous` to believe without comparing.
    enum class Trust {
        kNothing,  // compare every piece
        kPools,    // the vertex, index and word pools and the Model's geometries are taken from
                   // `previous` when their sizes did not change: only commands write them. The
                   // matrices are compared: drawing the skeleton stores the bones' world matrices.
    };

    // Takes the state of `model` and `scene`. Every piece equal to the same piece of `previous`
    // (may be null) is shared with it instead of copied.
    static std::shared_ptr<const StateSnapshot> Take(const Model& model, const Scene& scene,
                                                     const StateSnapshot* previous, Trust trust = Trust::kNothing);

    // Puts the state back into `model` and `scene`. Texture objects are the ones that were
    // held when the snapshot was taken. The camera, the device and the drawing state stay.
    void Restore(Model& model, Scene& scene) const;

    // True when every piece is shared with `other`: the two snapshots hold the same state.
    bool SameAs(const StateSnapshot& other) const;

    // The bytes of the pieces that this snapshot made itself rather than shared.
    std::size_t newBytes() const { return newBytes_; }

    template <typename T>
    using Piece = std::shared_ptr<const std::vector<T>>;
    // A long array as a list of pieces of at most kChunkBytes each.
    template <typename T>
    using Chunks = std::vector<Piece<T>>;
    static constexpr std::size_t kChunkBytes = 1 << 20;

    struct TextureRefs;  // one reference to each texture object of a list (null allowed)
    struct Geometry;     // a MeshGeometry with its vertex and index data

private:
    // The Model.
    Piece<FrameRecord> frames_;
    Piece<MeshNode> meshNodes_;
    Piece<MaterialRecord> materials_;
    Piece<TextureName> textureNames_;
    std::int32_t rootTail_ = -1;
    std::vector<std::shared_ptr<const Geometry>> geometries_;
    std::shared_ptr<const TextureRefs> modelTextures_;
    float materialTolerance_ = 0;

    // The Scene.
    std::shared_ptr<const TextureRefs> sceneTextures_;
    std::shared_ptr<const std::vector<std::string>> sceneTextureNames_;
    Piece<BoneRecord> bones_;
    Piece<DrawNode> drawNodes_;
    Piece<GeometryRecord> sceneGeometries_;
    Piece<SceneMaterial> sceneMaterials_;
    Chunks<D3DXMATRIX> matrices_;
    Chunks<std::uint32_t> programWords_;
    Chunks<std::uint8_t> vertexPool_;
    Chunks<std::uint16_t> indexPool_;
    std::shared_ptr<const std::vector<EntryPoint>> entryPoints_;
    Piece<BoneState> boneStates_;
    std::int32_t pickedBone_ = -1;

    std::size_t newBytes_ = 0;
};

}  // namespace ms
