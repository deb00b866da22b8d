// `.x` import of a file of 1,000,000 vertices (16 frames, each with a 250 x 250 grid mesh with
// normals, texture coordinates and two materials), against reading the same file into memory.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "model/model.h"
#include "support/memory_counter.h"
#include "support/plain_io.h"

namespace {

constexpr int kMeshes = 16;
constexpr int kSide = 250;  // vertices along each side of a grid: 16 x 250 x 250 = 1,000,000

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("modelsmith-bench-") + name)).string();
}

void Put(std::string& out, float value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    out.append(text, result.ptr);
}

void Put(std::string& out, int value) { out += std::to_string(value); }

// Writes a list of `count` items, each `item(out, i)`, as ".x" writes them: "a;b;c;," lines and
// ";;" after the last.
template <typename Item>
void List(std::string& out, int count, Item item) {
    Put(out, count);
    out += ";\n";
    for (int i = 0; i < count; ++i) {
        item(out, i);
        out += i + 1 < count ? ",\n" : ";\n";
    }
}

void Quads(std::string& out) {
    const int cells = kSide - 1;
    List(out, cells * cells, [&](std::string& o, int q) {
        int v = (q / cells) * kSide + q % cells;
        o += "4;";
        Put(o, v), o += ',', Put(o, v + kSide), o += ',', Put(o, v + kSide + 1), o += ',', Put(o, v + 1);
        o += ';';
    });
}

void Mesh(std::string& out, int index) {
    out += "Mesh Grid" + std::to_string(index) + " {\n";
    const float z = static_cast<float>(index) * 0.1f;
    List(out, kSide * kSide, [&](std::string& o, int v) {
        Put(o, static_cast<float>(v % kSide) * 0.013f), o += ';';
        Put(o, static_cast<float>(v / kSide) * 0.017f), o += ';';
        Put(o, z + static_cast<float>(v % 7) * 0.001f), o += ';';
    });
    Quads(out);
    out += "MeshNormals {\n";
    List(out, kSide * kSide, [&](std::string& o, int v) {
        float x = static_cast<float>(v % 11) * 0.01f;
        Put(o, x), o += ';', Put(o, 0.5f - x), o += ';', Put(o, -0.8f), o += ';';
    });
    Quads(out);
    out += "}\nMeshTextureCoords {\n";
    List(out, kSide * kSide, [&](std::string& o, int v) {
        Put(o, static_cast<float>(v % kSide) / kSide), o += ';';
        Put(o, static_cast<float>(v / kSide) / kSide), o += ';';
    });
    out += "}\nMeshMaterialList {\n2;\n";
    const int quads = (kSide - 1) * (kSide - 1);
    Put(out, quads);
    out += ";\n";
    for (int q = 0; q < quads; ++q) out += q < quads / 2 ? "0,\n" : "1,\n";
    out.back() = ';';
    out += ";\n{Skin}\n{Cloth}\n}\n}\n";
}

const std::string& SourceFile() {
    static const std::string path = [] {
        std::string p = TempPath("source.x");
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::string text =
            "xof 0303txt 0032\n"
            "Material Skin { 0.9;0.7;0.6;1.0;; 8.0; 0.2;0.2;0.2;; 0.0;0.0;0.0;; TextureFilename { \"skin.png\"; } }\n"
            "Material Cloth { 0.2;0.3;0.8;1.0;; 4.0; 0.1;0.1;0.1;; 0.0;0.0;0.0;; }\n"
            "Frame Scene_Root {\nFrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }\n";
        for (int m = 0; m < kMeshes; ++m) {
            text += "Frame Part" + std::to_string(m) + " {\n";
            text += "FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0," + std::to_string(m) + ",0,1;; }\n";
            Mesh(text, m);
            text += "}\n";
            std::fwrite(text.data(), 1, text.size(), f);
            text.clear();
        }
        text += "}\n";
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

std::int64_t FileSize() { return static_cast<std::int64_t>(std::filesystem::file_size(SourceFile())); }

void BM_ReadIntoMemory(benchmark::State& state) {
    std::vector<char> buffer(FileSize());
    for (auto _ : state) {
        ms::bench::PlainRead(SourceFile(), buffer);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

void BM_LoadX(benchmark::State& state) {
    double peak = 0;
    std::int64_t vertices = 0;
    for (auto _ : state) {
        ms::Model model;
        ms::bench::ResetPeak();
        if (!model.LoadX(SourceFile())) state.SkipWithError("load failed");
        peak = static_cast<double>(ms::bench::PeakSinceReset());
        vertices = 0;
        for (std::int32_t g = 0; g < model.GeometryCount(); ++g) vertices += model.Geometry(g)->vertexCount;
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
    state.counters["file_MB"] = static_cast<double>(FileSize()) / 1e6;
    state.counters["imported_vertices"] = static_cast<double>(vertices);
    state.counters["peak_memory_per_file_byte"] = peak / static_cast<double>(FileSize());
}

BENCHMARK(BM_ReadIntoMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadX)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
