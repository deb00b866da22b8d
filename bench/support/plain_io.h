#pragma once
// The baselines the file benchmarks compare with: a whole file read into memory and bytes written
// to a file with stdio, nothing else.
#include <string>
#include <vector>

namespace ms::bench {

// Reads the file at `path` into `buffer`, which must be as long as the file.
void PlainRead(const std::string& path, std::vector<char>& buffer);
// Writes `bytes` to `path`; with `synced`, also flushes them to the disk, as a durable save does.
void PlainWrite(const std::string& path, const std::vector<char>& bytes, bool synced = false);

}  // namespace ms::bench
