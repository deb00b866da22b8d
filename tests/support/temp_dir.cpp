#include "support/temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

namespace ms::test {

TempDir::TempDir() {
    std::random_device rng;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    for (char& c : name)
        if (c == '/') c = '_';
    root_ = std::filesystem::temp_directory_path() / ("modelsmith-" + name + "-" + std::to_string(rng()));
    std::filesystem::create_directories(root_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace ms::test
