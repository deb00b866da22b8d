// Conversion of a geometry of 1,000,000 vertices between two vertex layouts, against a plain copy
// of the same source bytes. Both the whole operation (a new vertex array) and the copy loop alone
// (into a buffer made beforehand) are measured beside their copy baselines.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <vector>

#include "tools/vertex_layout.h"

namespace {

constexpr std::size_t kVertices = 1'000'000;
constexpr std::uint32_t kFrom = 0x112;  // XYZ | NORMAL | TEX1: the .x import's layout, 32 bytes

const std::vector<std::uint8_t>& Source() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<float> words(kVertices * 8);
        for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<float>(i % 977) * 0.01f;
        std::vector<std::uint8_t> b(words.size() * 4);
        std::memcpy(b.data(), words.data(), b.size());
        return b;
    }();
    return bytes;
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Source().size()));
}

// Baseline: a new array holding a copy of the source bytes.
void BM_PlainCopy(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::uint8_t> copy(Source());
        benchmark::DoNotOptimize(copy.data());
    }
    SetBytes(state);
}

// The whole conversion as Update FVF runs it: a new array in the target layout.
void BM_ConvertVertices(benchmark::State& state) {
    const auto to = static_cast<std::uint32_t>(state.range(0));
    ms::LayoutConverter converter;
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        if (!converter.ConvertVertices(Source(), kVertices, kFrom, to, &out)) state.SkipWithError("refused");
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state);
}

// Baseline of the loop alone: memcpy into a buffer made beforehand.
void BM_PlainCopyInto(benchmark::State& state) {
    std::vector<std::uint8_t> target(Source().size());
    for (auto _ : state) {
        std::memcpy(target.data(), Source().data(), Source().size());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

void BM_ConvertVertexBytes(benchmark::State& state) {
    const ms::VertexLayout from = ms::DecodeLayout(kFrom);
    const ms::VertexLayout to = ms::DecodeLayout(static_cast<std::uint32_t>(state.range(0)));
    std::vector<std::uint8_t> target(kVertices * to.stride);
    for (auto _ : state) {
        ms::ConvertVertexBytes(from, to, Source().data(), target.data(), kVertices);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

// Targets: skinned with one weight and indices, normal, diffuse and one set (44 bytes); positions
// only (12 bytes); every component (116 bytes).
#define LAYOUTS ->Arg(0x1158)->Arg(0x002)->Arg(0x8FC)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertVertices) LAYOUTS;
BENCHMARK(BM_PlainCopyInto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertVertexBytes) LAYOUTS;

}  // namespace

int main(int argc, char** argv) {
    // Large arrays stay in the heap and are reused from one iteration to the next, on both sides.
    // Otherwise glibc's sliding mmap threshold keeps reusing the 32 MB baseline copy while the
    // 40 MB converted array gets a fresh mapping, and the kernel's page faults on it (not the
    // conversion) would dominate the comparison. LAYOUT_BENCH_MMAP=1 keeps the default allocator.
    if (!std::getenv("LAYOUT_BENCH_MMAP")) {
        mallopt(M_MMAP_THRESHOLD, 1 << 30);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
