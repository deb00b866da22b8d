#pragma once
// A fresh directory for one test's files, removed with everything in it afterwards.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ms::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return (root_ / name).string(); }
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);

}  // namespace ms::test
