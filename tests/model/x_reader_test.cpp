#include "model/x_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::TempDir;

// A reader over `text` with the given block size and the Model's template table.
struct TextReader {
    TextReader(const std::string& text, std::size_t blockSize) : reader(blockSize) {
        test::WriteFileText(dir.Path("t.x"), text);
        EXPECT_TRUE(reader.Open(dir.Path("t.x")));
        reader.SetTemplates(Model().TemplateTable);
    }
    TempDir dir;
    XReader reader;
};

const std::size_t kBlockSizes[] = {1, 2, 3, 4, 5, 7, 16, XReader::kDefaultBlockSize};

TEST(XReader, BlocksOfAnySizeGiveTheSameCharactersLinesAndNumbers) {
    struct Case {
        std::string file, text;
        std::vector<float> numbers;
    };
    const Case cases[] = {
        {"a\r\nb\rc\r\r\nd 12.5\r\n-3.25e1\r\n\r\n123456789.123456789 x\r",
         "a\nb\rc\r\nd 12.5\n-3.25e1\n\n123456789.123456789 x\r", {12.5f, -3.25f, 1, 123456789.123456789f}},
        {"x 1\r\ny\x1A 2\r\n", "x 1\ny", {1}},
        {"\r\r\r\n\n7", "\r\r\n\n7", {7}},
    };
    for (const Case& c : cases) {
        for (std::size_t blockSize : kBlockSizes) {
            SCOPED_TRACE(testing::Message() << c.text << " in blocks of " << blockSize);
            TextReader chars(c.file, blockSize);
            std::string read;
            std::int64_t line = 1;
            for (int ch = chars.reader.Get(); ch >= 0; ch = chars.reader.Get()) {
                read += static_cast<char>(ch);
                EXPECT_EQ(chars.reader.Line(), line);
                if (ch == '\n') ++line;
            }
            EXPECT_EQ(read, c.text);

            TextReader numbers(c.file, blockSize);
            std::vector<float> values;
            while (numbers.reader.ReadNumber()) values.push_back(numbers.reader.lastNumber());
            EXPECT_EQ(values, c.numbers);
        }
    }
}

TEST(XReader, LineAskedAtEveryCharacterOfALargeFileCostsOnePass) {
    std::string text;
    for (int i = 0; i < 1000000; ++i) text += "ab\n";
    TextReader chars(text, XReader::kDefaultBlockSize);
    std::int64_t line = 1, mismatches = 0;
    for (int ch = chars.reader.Get(); ch >= 0; ch = chars.reader.Get()) {
        mismatches += chars.reader.Line() != line;
        if (ch == '\n') ++line;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(line, 1000001);
}

TEST(XReader, KeywordReaderKnowsOnlyTemplateNames) {
    // Dummy is dropped with its brace, Mesh stops in front of its brace, 1 is dropped with the
    // closing brace, the template declaration is skipped, Frame2 and the long word match nothing.
    const std::string text =
        "xof 0303txt Dummy{ Mesh{ } 1} template Frame { <A> { } } Header Frame2 "
        "MaterialMaterialMaterialMaterial Frame}";
    for (std::size_t blockSize : kBlockSizes) {
        SCOPED_TRACE(blockSize);
        TextReader t(text, blockSize);
        EXPECT_EQ(t.reader.ReadKeyword(), 19);
        EXPECT_EQ(t.reader.current(), '{');
        std::vector<int> tokens;
        for (int token = t.reader.ReadKeyword(); token != XReader::kEnd; token = t.reader.ReadKeyword())
            tokens.push_back(token);
        EXPECT_EQ(tokens, (std::vector<int>{XReader::kCloseBrace, 1, 21}));
    }
}

std::string Rest(XReader& reader) {
    std::string rest;
    for (int c = reader.Get(); c >= 0; c = reader.Get()) rest += static_cast<char>(c);
    return rest;
}

TEST(XReader, SkipToBraceIgnoresNestingAndSkipBlockCountsIt) {
    TextReader toBrace("x { a { b } c } y", XReader::kDefaultBlockSize);
    toBrace.reader.SkipToBrace();
    EXPECT_EQ(toBrace.reader.current(), '}');
    EXPECT_EQ(Rest(toBrace.reader), " c } y");

    TextReader block("x { a { b } c } y", XReader::kDefaultBlockSize);
    block.reader.SkipBlock();
    EXPECT_EQ(Rest(block.reader), " y");
}

TEST(XReader, StringReaders) {
    TextReader t("Frame\tMy Name\n{ a b } \"C:\\\\x\\\\tex.bmp\";", XReader::kDefaultBlockSize);
    EXPECT_EQ(t.reader.ReadKeyword(), 21);
    EXPECT_EQ(t.reader.ReadName(31), "\tMyName\n");
    EXPECT_EQ(t.reader.ReadReference(31), " a b ");
    EXPECT_EQ(t.reader.ReadQuotedFileName(99), "tex.bmp");
    EXPECT_EQ(t.reader.current(), '"');
}

}  // namespace
}  // namespace ms
