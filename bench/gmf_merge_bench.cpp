// Merging a GMF file of 200,000 frames (and as many mesh nodes) into a Model that already holds
// the same file, so that every name of the file is taken: once with every frame named alike, once
// with unique names. The baseline is loading the same file into an empty Model, which renames
// nothing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"

namespace {

constexpr std::int32_t kFrames = 200'000;

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("modelsmith-bench-" + name)).string();
}

// A top-level chain of frames, each with one mesh node on one shared triangle.
std::string WriteFile(bool sameNames) {
    const std::string path = TempPath(sameNames ? "merge-same.gmf" : "merge-unique.gmf");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    auto i32 = [&](std::int32_t v) { std::fwrite(&v, 4, 1, f); };
    for (std::int32_t v : {kFrames, kFrames, 0, 0, 1}) i32(v);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        ms::FrameRecord frame{};
        frame.matrix[0] = frame.matrix[5] = frame.matrix[10] = frame.matrix[15] = 1.0f;
        frame.firstMeshNode = i;
        frame.meshNodeCount = 1;
        frame.nextSibling = i + 1 < kFrames ? i + 1 : -1;
        frame.firstChild = -1;
        ms::CopyName(frame.name, ms::kNameSize, sameNames ? "Bone" : ("Bone" + std::to_string(i)).c_str());
        std::fwrite(&frame, sizeof frame, 1, f);
    }
    for (std::int32_t i = 0; i < kFrames; ++i) {
        ms::MeshNode node{};
        node.material = -1;
        ms::CopyName(node.name, ms::kNameSize, sameNames ? "Mesh" : ("Mesh" + std::to_string(i)).c_str());
        std::fwrite(&node, sizeof node, 1, f);
    }
    for (std::int32_t v : {3, 1, 12, 0x2, 4, 36}) i32(v);
    const float vertices[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::fwrite(vertices, sizeof vertices, 1, f);
    i32(6);
    const std::uint16_t indices[3] = {0, 1, 2};
    std::fwrite(indices, sizeof indices, 1, f);
    std::fclose(f);
    return path;
}

const std::string& File(bool sameNames) {
    static const std::string same = WriteFile(true), unique = WriteFile(false);
    return sameNames ? same : unique;
}

// Baseline: the file into an empty Model.
void BM_LoadIntoEmptyModel(benchmark::State& state) {
    for (auto _ : state) {
        ms::Model model;
        if (!model.LoadGmf(File(state.range(0) != 0))) state.SkipWithError("load failed");
    }
}

// The file merged into a Model that holds it already; only the merge is timed.
void BM_MergeIntoFullModel(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<ms::Model>();
        if (!model->LoadGmf(File(state.range(0) != 0))) state.SkipWithError("load failed");
        state.ResumeTiming();
        if (!model->LoadGmf(File(state.range(0) != 0))) state.SkipWithError("merge failed");
        state.PauseTiming();
        if (model->FrameCount() != 2 * kFrames) state.SkipWithError("frames lost");
        model.reset();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_LoadIntoEmptyModel)->Arg(1)->Arg(0)->ArgName("sameNames")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeIntoFullModel)->Arg(1)->Arg(0)->ArgName("sameNames")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
