// The heavy paths of the skeleton and scene files:
// - skin weights of 1,000,000 vertices against a 64-bone skeleton in one tree (target: 1 s);
// - save and open of a skin file holding 1,000,000 vertices of geometry, beside a plain write
//   and read of the same number of bytes (target: within 2x of those).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <unistd.h>
#include <vector>

#include "skin/bones.h"
#include "skin/envelope.h"
#include "skin/scene_file.h"
#include "skin/skin_weights.h"
#include "support/bench_skeleton.h"
#include "support/plain_io.h"

namespace {

constexpr std::size_t kVertices = 1'000'000;
constexpr std::uint32_t kStride = 32;

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("modelsmith-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

using ms::bench::PointsAroundBones;
using ms::bench::Skeleton;

void BM_WeighMillionVertices(benchmark::State& state) {
    const ms::Scene s = Skeleton();
    const std::vector<D3DXVECTOR3> points = PointsAroundBones(s, kVertices);
    std::vector<ms::VertexWeights> out(points.size());
    for (auto _ : state) {
        ms::SkinWeigher weigher(s, 0);
        ms::WeighVertices(weigher, points, {}, 4, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kVertices));
}

// Removes the file when the program ends.
struct TempFile {
    std::string path;
    ~TempFile() { std::remove(path.c_str()); }
};

// A skin file: 1,000,000 vertices of 32 bytes in one indexed triangle list on the 64 bones.
const std::string& SkinFile() {
    static const TempFile file{[] {
        ms::Scene s = Skeleton();
        s.vertexPool.resize(kVertices * kStride);
        for (std::size_t i = 0; i < s.vertexPool.size(); ++i) s.vertexPool[i] = static_cast<std::uint8_t>(i * 31);
        const std::uint32_t triangles = kVertices / 3;
        s.indexPool.resize(3 * triangles);
        for (std::size_t i = 0; i < s.indexPool.size(); ++i) s.indexPool[i] = static_cast<std::uint16_t>(i % 65000);
        s.geometries.push_back({0, 0, static_cast<std::uint32_t>(kVertices), triangles, kStride, 0x112, 4, 1});
        s.drawNodes.push_back({-1, -1, 0, -1, -1, 100.0f});
        s.bones[0].firstMeshNode = 0;
        std::string p = TempPath("source.skn");
        if (!ms::SaveSceneFile(s, p, ms::SceneFileKind::kSkin)) std::abort();
        return p;
    }()};
    return file.path;
}

std::int64_t FileSize() { return static_cast<std::int64_t>(std::filesystem::file_size(SkinFile())); }

void BM_PlainRead(benchmark::State& state) {
    std::vector<char> buffer(FileSize());
    for (auto _ : state) {
        ms::bench::PlainRead(SkinFile(), buffer);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

// The same into a new buffer each time, as a reader that hands out its data must.
void BM_PlainReadNewBuffer(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<char> buffer(FileSize());
        ms::bench::PlainRead(SkinFile(), buffer);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

void BM_OpenSkin(benchmark::State& state) {
    for (auto _ : state) {
        ms::Scene s;
        if (!ms::OpenSceneFile(s, SkinFile(), ms::SceneFileKind::kSkin)) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(s.vertexPool.data());
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

void PlainWrite(benchmark::State& state, bool sync) {
    std::vector<char> buffer(FileSize(), 1);
    std::string path = TempPath("plain.out");
    for (auto _ : state) {
        ms::bench::PlainWrite(path, buffer, sync);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
    std::remove(path.c_str());
}

void BM_PlainWrite(benchmark::State& state) { PlainWrite(state, false); }
// The same with the flush to disk that a save which must not lose the old file makes.
void BM_PlainWriteSynced(benchmark::State& state) { PlainWrite(state, true); }

void BM_SaveSkin(benchmark::State& state) {
    ms::Scene s;
    if (!ms::OpenSceneFile(s, SkinFile(), ms::SceneFileKind::kSkin)) state.SkipWithError("open failed");
    std::string path = TempPath("saved.skn");
    for (auto _ : state)
        if (!ms::SaveSceneFile(s, path, ms::SceneFileKind::kSkin)) state.SkipWithError("save failed");
    state.SetBytesProcessed(state.iterations() * FileSize());
    std::remove(path.c_str());
}

BENCHMARK(BM_WeighMillionVertices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadNewBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSkin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteSynced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSkin)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
