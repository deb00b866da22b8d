#include "support/plain_io.h"

#include <cstdio>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace ms::bench {

void PlainRead(const std::string& path, std::vector<char>& buffer) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), f));
    std::fclose(f);
}

void PlainWrite(const std::string& path, const std::vector<char>& bytes, bool synced) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    benchmark::DoNotOptimize(std::fwrite(bytes.data(), 1, bytes.size(), f));
    if (synced) {
        std::fflush(f);
        ::fsync(::fileno(f));
    }
    std::fclose(f);
}

}  // namespace ms::bench
