// GMF load and save of a model of 1,000,000 32-byte vertices in a triangle list, against a plain
// read and write of the same number of bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <vector>
#include <unistd.h>

#include "model/model.h"
#include "support/memory_counter.h"
#include "support/plain_io.h"

namespace {

constexpr std::int32_t kVertices = 1'000'000;
constexpr std::int32_t kTriangles = kVertices / 3;

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("modelsmith-bench-") + name)).string();
}

// Writes the test file field by field: one frame, one mesh node, one material, one geometry.
const std::string& SourceFile() {
    static const std::string path = [] {
        std::string p = TempPath("source.gmf");
        std::FILE* f = std::fopen(p.c_str(), "wb");
        auto i32 = [&](std::int32_t v) { std::fwrite(&v, 4, 1, f); };
        for (std::int32_t v : {1, 1, 1, 0, 1}) i32(v);
        ms::FrameRecord frame{};
        frame.firstMeshNode = 0;
        frame.meshNodeCount = 1;
        frame.nextSibling = frame.firstChild = -1;
        ms::MeshNode node{};
        ms::MaterialRecord material{};
        for (auto& t : material.texture) t = -1;
        std::fwrite(&frame, sizeof frame, 1, f);
        std::fwrite(&node, sizeof node, 1, f);
        std::fwrite(&material, sizeof material, 1, f);
        for (std::int32_t v : {kVertices, kTriangles, 32, 0x112, 4, kVertices * 32}) i32(v);
        std::vector<float> vertices(kVertices * 8);
        for (std::size_t i = 0; i < vertices.size(); ++i) vertices[i] = static_cast<float>(i % 977) * 0.01f;
        std::fwrite(vertices.data(), 4, vertices.size(), f);
        i32(kTriangles * 6);
        std::vector<std::uint16_t> indices(kTriangles * 3);
        for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<std::uint16_t>(i % 65000);
        std::fwrite(indices.data(), 2, indices.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

std::int64_t FileSize() { return static_cast<std::int64_t>(std::filesystem::file_size(SourceFile())); }

void BM_PlainRead(benchmark::State& state) {
    std::vector<char> buffer(FileSize());
    for (auto _ : state) {
        ms::bench::PlainRead(SourceFile(), buffer);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

void BM_LoadGmf(benchmark::State& state) {
    double peak = 0;
    for (auto _ : state) {
        ms::Model model;
        ms::bench::ResetPeak();
        if (!model.LoadGmf(SourceFile())) state.SkipWithError("load failed");
        peak = static_cast<double>(ms::bench::PeakSinceReset());
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
    state.counters["peak_memory_per_file_byte"] = peak / static_cast<double>(FileSize());
}

void BM_PlainWrite(benchmark::State& state) {
    std::vector<char> buffer(FileSize(), 1);
    std::string path = TempPath("plain.out");
    for (auto _ : state) {
        ms::bench::PlainWrite(path, buffer);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
    std::remove(path.c_str());
}

// The same write made durable, as a save is: flushed to the disk before it counts as done.
void BM_PlainWriteSynced(benchmark::State& state) {
    std::vector<char> buffer(FileSize(), 1);
    std::string path = TempPath("plain-synced.out");
    for (auto _ : state) {
        ms::bench::PlainWrite(path, buffer, true);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
    std::remove(path.c_str());
}

void BM_SaveGmf(benchmark::State& state) {
    ms::Model model;
    if (!model.LoadGmf(SourceFile())) state.SkipWithError("load failed");
    std::string path = TempPath("saved.gmf");
    for (auto _ : state)
        if (!model.SaveGmf(path)) state.SkipWithError("save failed");
    state.SetBytesProcessed(state.iterations() * FileSize());
    std::remove(path.c_str());
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGmf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteSynced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveGmf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
