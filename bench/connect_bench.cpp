// The heavy paths of the merge tools, each beside its baseline in the same run:
// - Connect of a skinned mesh (XYZB3 with LASTBETA_UBYTE4, normal, one texture set) of 250,000,
//   500,000 and 1,000,000 vertices against a 64-bone skeleton in one tree (target: 1 s for the
//   1,000,000 with the weights alone under 1 s; linear in the vertex count), beside the weights of
//   the same vertices alone;
// - Connect Shadow of a triangle list of 1,000,000 triangles on 32,768 vertices (target: within
//   3x of copying its vertex and index bytes once), beside that copy and beside writing the
//   shadow's own vertex and index bytes once;
// - the skinned Connect as a command of the Editor, which keeps the state before it for undo
//   (target: at most 10% over the Connect alone), and undo and redo of it (each at most 50 ms).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "../tests/model/gmf_builder.h"
#include "edit/editor.h"
#include "model/model.h"
#include "skin/bones.h"
#include "skin/envelope.h"
#include "skin/skin_weights.h"
#include "tools/connect.h"
#include "tools/vertex_layout.h"

#include "support/bench_skeleton.h"

namespace {

constexpr std::uint32_t kSkinnedFvf = 0x111A;  // XYZB3, LASTBETA_UBYTE4, NORMAL, TEX1
constexpr std::int32_t kShadowVertices = 32768;
constexpr std::int32_t kShadowTriangles = 1'000'000;

using ms::bench::PointsAroundBones;
using ms::bench::Skeleton;

// A Model of one mesh node made through a GMF file, its vertex bytes then written by `fill`.
template <typename Fill>
void MakeModel(ms::Model& model, std::uint32_t fvf, std::int32_t vertices, std::int32_t primitives,
               std::vector<std::uint16_t> indices, Fill fill) {
    ms::test::GmfBuilder b;
    b.frames = {ms::test::Frame("Root", 0, 1)};
    b.nodes = {ms::test::Node("Mesh", 0, 0)};
    b.materials = {ms::test::Material("Plain")};
    ms::test::GeometryBlock g;
    g.vertexCount = vertices;
    g.primitiveCount = primitives;
    g.stride = static_cast<std::int32_t>(ms::DecodeLayout(fvf).stride);
    g.fvf = fvf;
    g.primitiveType = 4;
    g.indices = std::move(indices);
    b.geometries = {g};
    const std::string path =
        (std::filesystem::temp_directory_path() / ("modelsmith-bench-" + std::to_string(::getpid()) + "-connect.gmf"))
            .string();
    const std::vector<std::uint8_t> bytes = b.Bytes();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    if (!model.LoadGmf(path)) std::abort();
    std::remove(path.c_str());
    fill(*model.Geometry(0));
}

// Triangles over the vertices in order, wrapping within 16-bit indices.
std::vector<std::uint16_t> TriangleIndices(std::int64_t triangles, std::int64_t vertices) {
    std::vector<std::uint16_t> indices(static_cast<std::size_t>(3 * triangles));
    const std::int64_t range = std::min<std::int64_t>(vertices, 65536);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint16_t>(i % range);
    return indices;
}

const ms::Model& SkinnedModel(std::int32_t vertices) {
    static std::map<std::int32_t, std::unique_ptr<ms::Model>> models;
    std::unique_ptr<ms::Model>& model = models[vertices];
    if (!model) {
        model = std::make_unique<ms::Model>();
        const ms::Scene s = Skeleton();
        const std::vector<D3DXVECTOR3> points = PointsAroundBones(s, static_cast<std::size_t>(vertices));
        MakeModel(*model, kSkinnedFvf, vertices, vertices / 3, TriangleIndices(vertices / 3, vertices),
                  [&](ms::MeshGeometry& g) {
                      const std::size_t stride = static_cast<std::size_t>(g.stride);
                      for (std::size_t i = 0; i < points.size(); ++i) {
                          float v[11] = {points[i].x, points[i].y, points[i].z, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f};
                          std::memcpy(g.vertices.data() + i * stride, v, sizeof v);
                      }
                  });
    }
    return *model;
}

void BM_ConnectSkinned(benchmark::State& state) {
    const auto vertices = static_cast<std::int32_t>(state.range(0));
    const ms::Model& model = SkinnedModel(vertices);
    std::optional<ms::Scene> scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene.reset();
        scene.emplace(Skeleton());
        state.ResumeTiming();
        if (!ms::Connect(model, *scene, 0, 2500.0f)) state.SkipWithError("connect failed");
        benchmark::DoNotOptimize(scene->vertexPool.data());
    }
    state.SetItemsProcessed(state.iterations() * vertices);
}

// The same through the Editor, as the window and the batch tool run it: with the snapshot that
// keeps the state before the command for undo.
void BM_ConnectSkinnedCommand(benchmark::State& state) {
    const auto vertices = static_cast<std::int32_t>(state.range(0));
    ms::Model& model = const_cast<ms::Model&>(SkinnedModel(vertices));
    std::optional<ms::Scene> scene;
    std::optional<ms::Editor> editor;
    for (auto _ : state) {
        state.PauseTiming();
        editor.reset();
        scene.reset();
        scene.emplace(Skeleton());
        editor.emplace(model, *scene);
        state.ResumeTiming();
        const ms::Status s = editor->Run("Connect", [](ms::Model& m, ms::Scene& sc) {
            return ms::Connect(m, sc, 0, 2500.0f);
        });
        if (!s) state.SkipWithError("connect failed");
    }
    state.SetItemsProcessed(state.iterations() * vertices);
}

// Undo and then redo of that Connect, on the Scene of 1,000,000 vertices it made: the time of one
// iteration is the two together (target: each at most 50 ms).
void BM_UndoThenRedoConnect(benchmark::State& state) {
    const auto vertices = static_cast<std::int32_t>(state.range(0));
    ms::Model& model = const_cast<ms::Model&>(SkinnedModel(vertices));
    ms::Scene scene = Skeleton();
    ms::Editor editor(model, scene);
    if (!editor.Run("Connect", [](ms::Model& m, ms::Scene& sc) { return ms::Connect(m, sc, 0, 2500.0f); }))
        state.SkipWithError("connect failed");
    for (auto _ : state) {
        if (!editor.Undo() || !editor.Redo()) state.SkipWithError("undo or redo failed");
        benchmark::DoNotOptimize(scene.vertexPool.data());
    }
    state.counters["vertexPoolMB"] = static_cast<double>(scene.vertexPool.size()) / 1e6;
}

// The weights alone of the same vertices, with their normals and three influences.
void BM_WeightsAlone(benchmark::State& state) {
    const auto vertices = static_cast<std::size_t>(state.range(0));
    const ms::Scene s = Skeleton();
    const std::vector<D3DXVECTOR3> points = PointsAroundBones(s, vertices);
    const std::vector<D3DXVECTOR3> normals(vertices, D3DXVECTOR3(0, 1, 0));
    std::vector<ms::VertexWeights> out(vertices);
    for (auto _ : state) {
        ms::SkinWeigher weigher(s, 0);
        ms::WeighVertices(weigher, points, normals, 3, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(vertices));
}

const ms::Model& ShadowModel() {
    static ms::Model model;
    static bool made = false;
    if (!made) {
        MakeModel(model, 0x002, kShadowVertices, kShadowTriangles, TriangleIndices(kShadowTriangles, kShadowVertices),
                  [](ms::MeshGeometry& g) {
                      for (std::int32_t i = 0; i < g.vertexCount; ++i) {
                          const float v[3] = {0.01f * static_cast<float>(i % 100), 0.01f * static_cast<float>(i / 100),
                                              0.5f};
                          std::memcpy(g.vertices.data() + 12 * static_cast<std::size_t>(i), v, sizeof v);
                      }
                  });
        made = true;
    }
    return model;
}

void BM_ConnectShadow(benchmark::State& state) {
    const ms::Model& model = ShadowModel();
    std::optional<ms::Scene> scene;
    for (auto _ : state) {
        state.PauseTiming();
        scene.reset();
        scene.emplace(Skeleton());
        scene->pickedBone = 0;
        state.ResumeTiming();
        if (!ms::ConnectShadow(model, *scene, 0, 2500.0f)) state.SkipWithError("connect shadow failed");
        benchmark::DoNotOptimize(scene->indexPool.data());
    }
    state.SetItemsProcessed(state.iterations() * kShadowTriangles);
}

// Baseline: the source's vertex and index bytes copied once into new buffers.
void BM_CopySourceBytes(benchmark::State& state) {
    const ms::MeshGeometry& g = *ShadowModel().Geometry(0);
    for (auto _ : state) {
        std::vector<std::uint8_t> vertices(g.vertices.begin(), g.vertices.end());
        std::vector<std::uint16_t> indices(g.indices.begin(), g.indices.end());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(state.iterations() * kShadowTriangles);
}

// Baseline: as many bytes as the shadow holds (2N vertices of 16 bytes, 21 indices a triangle)
// copied once into new buffers.
void BM_CopyShadowSizedBytes(benchmark::State& state) {
    const std::vector<std::uint8_t> vertexBytes(2 * kShadowVertices * 16, 1);
    const std::vector<std::uint16_t> indexWords(21 * static_cast<std::size_t>(kShadowTriangles), 1);
    for (auto _ : state) {
        std::vector<std::uint8_t> vertices(vertexBytes.begin(), vertexBytes.end());
        std::vector<std::uint16_t> indices(indexWords.begin(), indexWords.end());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(state.iterations() * kShadowTriangles);
}

BENCHMARK(BM_WeightsAlone)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectSkinned)->Arg(250'000)->Arg(500'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectSkinnedCommand)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoThenRedoConnect)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopySourceBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyShadowSizedBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectShadow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
