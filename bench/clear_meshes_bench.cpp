// Clear Meshes on a large scene: 100,000 draw nodes over 1,000 bones (each bone a mesh chain and a
// shadow chain of 50 nodes, each node with its own geometry), beside a plain copy of the
// draw-node array and of every array the clear rewrites, measured in the same run.
#include <benchmark/benchmark.h>

#include <vector>

#include "skin/clear_bone_meshes.h"

namespace {

constexpr int kBones = 1000;
constexpr int kNodesPerChain = 50;
constexpr std::uint32_t kVerticesPerGeometry = 8;
constexpr std::uint32_t kStride = 32;
constexpr std::uint32_t kTriangles = 12;

// Node n of a chain draws geometry n and material n % 100; a drawn node goes on to the next, a
// skipped one to the one after it, as level-of-detail chains do.
ms::Scene LargeScene() {
    ms::Scene s;
    const auto total = static_cast<std::size_t>(kBones) * 2 * kNodesPerChain;
    s.drawNodes.reserve(total);
    s.geometries.reserve(total);
    for (int b = 0; b < kBones; ++b) {
        ms::BoneRecord bone{-1, -1, b, 0, 0, 0, 0, -1, -1};
        for (int chain = 0; chain < 2; ++chain) {
            const auto head = static_cast<std::int32_t>(s.drawNodes.size());
            (chain == 0 ? bone.firstMeshNode : bone.firstShadowNode) = head;
            for (int k = 0; k < kNodesPerChain; ++k) {
                const auto n = static_cast<std::int32_t>(s.drawNodes.size());
                const std::int32_t drawn = k + 1 < kNodesPerChain ? n + 1 : -1;
                const std::int32_t skipped = k + 2 < kNodesPerChain ? n + 2 : -1;
                s.drawNodes.push_back({drawn, skipped, n, n % 100, n % 10 == 0 ? (n / 10) % 100 : -1, 10.0f * k});
                s.geometries.push_back({static_cast<std::uint32_t>(n) * kVerticesPerGeometry * kStride,
                                        static_cast<std::uint32_t>(n) * kTriangles * 3, kVerticesPerGeometry,
                                        kTriangles, kStride, 0x112, 4, 1});
            }
        }
        s.bones.push_back(bone);
    }
    s.vertexPool.assign(total * kVerticesPerGeometry * kStride, 7);
    s.indexPool.assign(total * kTriangles * 3, 1);
    for (int m = 0; m < 100; ++m) {
        ms::SceneMaterial material{};
        for (auto& t : material.texture) t = -1;
        material.texture[0] = m % 20;
        material.stageCount = 1;
        s.materials.push_back(material);
    }
    for (int t = 0; t < 20; ++t) s.textureNames.push_back("t" + std::to_string(t) + ".bmp");
    s.textures.resize(20);
    for (std::uint32_t e = 0; e < 100; ++e) s.entryPoints.push_back({"p" + std::to_string(e), 4 * e});
    s.programWords.assign(400, 0);
    return s;
}

void CopyInto(ms::Scene& to, const ms::Scene& from) {
    to.bones = from.bones;
    to.drawNodes = from.drawNodes;
    to.geometries = from.geometries;
    to.materials = from.materials;
    to.vertexPool = from.vertexPool;
    to.indexPool = from.indexPool;
    to.textureNames = from.textureNames;
    to.textures.resize(from.textures.size());
    to.entryPoints = from.entryPoints;
    to.programWords = from.programWords;
}

const ms::Scene& Fixture() {
    static const ms::Scene scene = LargeScene();
    return scene;
}

void Clear(benchmark::State& state, ms::BoneChain chain, std::int32_t bone) {
    ms::Scene scene;
    for (auto _ : state) {
        state.PauseTiming();
        CopyInto(scene, Fixture());
        state.ResumeTiming();
        ms::ClearBoneMeshes(scene, chain, bone);
        benchmark::DoNotOptimize(scene.drawNodes.data());
    }
}

// Half the nodes and their geometry go: the heaviest compaction.
void BM_ClearMeshesOfEveryBone(benchmark::State& state) { Clear(state, ms::BoneChain::kMeshes, -1); }
BENCHMARK(BM_ClearMeshesOfEveryBone)->Unit(benchmark::kMillisecond);

// One chain of 50 nodes goes; everything above it moves down.
void BM_ClearMeshesOfOneBone(benchmark::State& state) { Clear(state, ms::BoneChain::kMeshes, kBones / 2); }
BENCHMARK(BM_ClearMeshesOfOneBone)->Unit(benchmark::kMillisecond);

// Baselines: copying the draw-node array, and copying every array the clear may rewrite.
void BM_CopyDrawNodeArray(benchmark::State& state) {
    std::vector<ms::DrawNode> copy;
    for (auto _ : state) {
        copy = Fixture().drawNodes;
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyDrawNodeArray)->Unit(benchmark::kMillisecond);

void BM_CopyEveryArray(benchmark::State& state) {
    ms::Scene copy;
    for (auto _ : state) {
        CopyInto(copy, Fixture());
        benchmark::DoNotOptimize(copy.vertexPool.data());
    }
}
BENCHMARK(BM_CopyEveryArray)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
