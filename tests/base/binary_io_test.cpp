#include "base/binary_io.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(FileReader, RefusesWhatIsNotARegularFileWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* says;
    } cases[] = {{dir.Path(""), "is a directory"}, {dir.Path("fifo"), "is not a regular file"},
                 {"/dev/null", "is not a regular file"}};
    for (const auto& c : cases) {
        FileReader in;
        Status s = in.Open(c.path);
        EXPECT_FALSE(s) << c.path;
        EXPECT_NE(s.message().find(c.says), std::string::npos) << s.message();
    }
}

TEST(FileReader, FileShortenedWhileReadSaysSo) {
    TempDir dir;
    WriteFileBytes(dir.Path("f"), std::vector<std::uint8_t>(3 << 20, 1));
    FileReader in;
    ASSERT_TRUE(in.Open(dir.Path("f")));
    std::filesystem::resize_file(dir.Path("f"), 10);
    std::vector<std::uint8_t> bytes(3 << 20);
    EXPECT_FALSE(in.ReadBytes(bytes.data(), bytes.size()));
    EXPECT_NE(in.readError().find("shortened"), std::string::npos) << in.readError();
}

Status WriteTwoWords(const std::string& path) {
    AtomicFileWriter out;
    if (Status s = out.Open(path); !s) return s;
    out.WriteI32(5);
    out.WriteI32(6);
    return out.Commit();
}

const std::vector<std::uint8_t> kTwoWords = {5, 0, 0, 0, 6, 0, 0, 0};

TEST(AtomicFileWriter, ReplacedFileKeepsItsModeAndAReadOnlyOneIsRefused) {
    TempDir dir;
    for (mode_t mode : {0600, 0640, 0755}) {
        WriteFileBytes(dir.Path("t"), {7});
        ASSERT_EQ(::chmod(dir.Path("t").c_str(), mode), 0);
        ASSERT_TRUE(WriteTwoWords(dir.Path("t")));
        struct stat st;
        ASSERT_EQ(::stat(dir.Path("t").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(ReadFileBytes(dir.Path("t")), kTwoWords);
    }
    ASSERT_EQ(::chmod(dir.Path("t").c_str(), 0444), 0);
    Status s = WriteTwoWords(dir.Path("t"));
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("read-only"), std::string::npos) << s.message();
    ::chmod(dir.Path("t").c_str(), 0644);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 1);
}

TEST(AtomicFileWriter, SymbolicLinkStaysAndTheFileItLeadsToIsReplaced) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path("sub"));
    WriteFileBytes(dir.Path("sub/real"), {7});
    std::filesystem::create_symlink("sub/real", dir.Path("link"));
    std::filesystem::create_symlink("sub/new", dir.Path("dangling"));  // a file still to be made
    for (const char* link : {"link", "dangling"}) {
        ASSERT_TRUE(WriteTwoWords(dir.Path(link))) << link;
        EXPECT_TRUE(std::filesystem::is_symlink(dir.Path(link))) << link;
        EXPECT_EQ(ReadFileBytes(dir.Path(link)), kTwoWords) << link;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("sub")), {}), 2);
}

TEST(AtomicFileWriter, TargetThatIsNotARegularFileIsWrittenInPlace) {
    TempDir dir;
    EXPECT_TRUE(WriteTwoWords("/dev/null"));
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    const int reader = ::open(dir.Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(WriteTwoWords(dir.Path("fifo")));
    std::vector<std::uint8_t> got(16);
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(reader, got.data(), got.size()))));
    ::close(reader);
    EXPECT_EQ(got, kTwoWords);
    EXPECT_TRUE(std::filesystem::is_fifo(dir.Path("fifo")));
    Status s = WriteTwoWords(dir.Path(""));
    EXPECT_NE(s.message().find("is a directory"), std::string::npos) << s.message();
}

TEST(AtomicFileWriter, NameAtTheFileNameLimitIsSaved) {
    TempDir dir;
    for (std::size_t length : {245u, 255u}) {
        const std::string path = dir.Path(std::string(length, 'n'));
        EXPECT_TRUE(WriteTwoWords(path)) << length;
        EXPECT_EQ(ReadFileBytes(path), kTwoWords);
    }
}

TEST(AtomicFileWriter, FileSizeLimitFailsTheSaveCleanly) {
    TempDir dir;
    WriteFileBytes(dir.Path("t"), {7});
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    AtomicFileWriter out;
    Status s = out.Open(dir.Path("t"));
    const std::vector<std::uint8_t> big(1 << 16, 1);
    out.WriteBytes(big.data(), big.size());
    if (s) s = out.Commit();
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("File too large"), std::string::npos) << s.message();
    EXPECT_EQ(ReadFileBytes(dir.Path("t")), (std::vector<std::uint8_t>{7}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.root()), {}), 1);
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
