#include "base/binary_io.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace ms {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(FileReader, ReadsFieldsAndRefusesToReadPastTheEnd) {
    TempDir dir;
    WriteFileBytes(dir.Path("f"), {1, 0, 0, 0, 0, 0, 0x80, 0x3f, 9});
    FileReader in;
    ASSERT_TRUE(in.Open(dir.Path("f")));
    std::int32_t i = 0;
    float f = 0;
    EXPECT_TRUE(in.ReadI32(i));
    EXPECT_TRUE(in.ReadF32(f));
    EXPECT_EQ(i, 1);
    EXPECT_EQ(f, 1.0f);
    EXPECT_EQ(in.remaining(), 1u);
    EXPECT_FALSE(in.ReadI32(i));
    EXPECT_FALSE(in.Skip(2));
    EXPECT_TRUE(in.Skip(1));
    EXPECT_EQ(in.offset(), 9u);
}

TEST(FileReader, MissingFileNamesThePath) {
    FileReader in;
    Status s = in.Open("/nonexistent/dir/file.gmf");
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("/nonexistent/dir/file.gmf"), std::string::npos);
}

TEST(AtomicFileWriter, ReplacesTheTargetOnlyOnCommit) {
    TempDir dir;
    WriteFileBytes(dir.Path("t"), {7, 7});
    {
        AtomicFileWriter out;
        ASSERT_TRUE(out.Open(dir.Path("t")));
        out.WriteI32(5);
        EXPECT_EQ(ReadFileBytes(dir.Path("t")), (std::vector<std::uint8_t>{7, 7}));
        ASSERT_TRUE(out.Commit());
    }
    EXPECT_EQ(ReadFileBytes(dir.Path("t")), (std::vector<std::uint8_t>{5, 0, 0, 0}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 1);
}

TEST(AtomicFileWriter, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    WriteFileBytes(dir.Path("t"), {7, 7});
    for (std::uint64_t limit : {0u, 3u, 4u}) {
        AtomicFileWriter out;
        ASSERT_TRUE(out.Open(dir.Path("t")));
        out.FailAfterForTesting(limit);
        out.WriteI32(1);
        out.WriteI32(2);
        EXPECT_FALSE(out.Commit()) << limit;
        EXPECT_EQ(ReadFileBytes(dir.Path("t")), (std::vector<std::uint8_t>{7, 7}));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 1);
}

TEST(AtomicFileWriter, UnwritableDirectoryIsReported) {
    AtomicFileWriter out;
    EXPECT_FALSE(out.Open("/nonexistent/dir/out.gmf"));
    EXPECT_FALSE(out.Commit());
}

}  // namespace
}  // namespace ms
