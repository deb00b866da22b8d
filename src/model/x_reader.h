#pragma once
// The character-level readers of the `.x` import: a keyword reader that knows only the names of
// the template table, a decimal number reader, two brace skippers and three string readers.
//
// The file is read in large blocks and delivered as Windows text mode delivers it on every
// platform: a CR LF pair arrives as one LF (a lone CR stays), and a Ctrl-Z (0x1A) ends the file.
// Every reader keeps the "current character" (the last one read, -1 at the end of the file) that
// the next reader may start from, and every reader ends at the end of the file.
#include <cstdint>
#include <string>
#include <vector>

#include "base/binary_io.h"
#include "base/status.h"

namespace ms {

class XReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 1 << 20;
    static constexpr int kTemplateCount = 33;
    static constexpr int kTemplateSlot = 30;  // bytes of one template-name slot

    // Results of ReadKeyword besides the template numbers 1..33.
    static constexpr int kEnd = 0;
    static constexpr int kOpenBrace = -1;
    static constexpr int kCloseBrace = -2;

    // `blockSize` (at least 1) is the number of file bytes read at a time.
    explicit XReader(std::size_t blockSize = kDefaultBlockSize);
    XReader(const XReader&) = delete;
    XReader& operator=(const XReader&) = delete;

    // Opens `path`; the error names the path and the system's reason.
    Status Open(const std::string& path);
    // Reads the 12 characters of the header, "xof ", a four-digit version and the format, and
    // accepts only the text format "txt ". A binary or compressed file is refused with a message
    // that says only text .x files are read; anything else is "not a .x file".
    Status ReadHeader();
    // The words ReadKeyword recognises: slot k holds template number k + 1, NUL-padded.
    void SetTemplates(const char (*table)[kTemplateSlot]);

    // Reads one character and makes it the current one; -1 at the end of the file.
    int Get() {
        if (pos_ == end_ && !Refill()) return current_ = -1;
        return current_ = static_cast<unsigned char>(*pos_++);
    }
    int current() const { return current_; }

    // Reads on (the current character is not looked at) until a word of letters and digits that
    // names a template (its number, the character that ended it stays current), an opening
    // (kOpenBrace) or closing (kCloseBrace) brace seen with no word pending, or the end (kEnd).
    // Any other word is dropped together with the character that ended it, braces included. The
    // word "template" starts a template declaration, which is skipped whole with SkipBlock.
    int ReadKeyword();

    // Passes over characters up to one of 0-9 . - +, collects the run of those characters and
    // converts it as [sign] digits [. digits] (no exponent), stopping at the first character
    // that does not fit: "1.2.3" gives 1.2, "-" and "+-5" give 0. The character after the run
    // stays current. Returns false, with the last number unchanged, at the end of the file.
    bool ReadNumber();
    float lastNumber() const { return lastNumber_; }

    // Reads characters up to the next '}' (nesting is not counted) or the end of the file.
    void SkipToBrace();
    // Skips the block opened by the current character when it is '{', else by the next '{',
    // counting nesting, up to and including the brace that closes it.
    void SkipBlock();

    // The name in front of a block: from the current character up to the next '{' (consumed),
    // every character but the blank ' ', cut to `maxLength` characters.
    std::string ReadName(std::size_t maxLength);
    // Every character up to the next '}', blanks included, cut to `maxLength` characters.
    std::string ReadReference(std::size_t maxLength);
    // Reads up to the second '"'; returns what lies between the quotes after the last
    // backslash, cut to `maxLength` characters.
    std::string ReadQuotedFileName(std::size_t maxLength);

    // The line (from 1) of the current character.
    std::int64_t Line() const;
    // The most characters that may still follow the current one.
    std::uint64_t RemainingBound() const;
    // Ends the text: every later read sees the end of the file.
    void Stop();
    // The read error that ended the text early, if any.
    const Status& readError() const { return readError_; }

private:
    bool Refill();
    char* Translate(char* begin, char* end);
    int MatchTemplate(const char* word, std::size_t length) const;

    FileReader file_;
    std::size_t blockSize_;
    std::vector<char> block_;  // one slot in front for a CR held over from the previous block
    char* begin_ = nullptr;    // the translated characters of the current block
    char* pos_ = nullptr;
    char* end_ = nullptr;
    bool heldCr_ = false;           // the previous block ended in a CR whose follower was not read yet
    bool ended_ = false;            // Ctrl-Z, a read error or Stop(): nothing follows the block
    std::int64_t linesBefore_ = 0;  // line feeds in the blocks before the current one
    mutable const char* lineMark_ = nullptr;  // Line() has counted the block's line feeds up to here
    mutable std::int64_t linesAtMark_ = 0;
    int current_ = 0;
    float lastNumber_ = 0.0f;
    std::string spill_;  // a number run that crosses a block boundary
    char templates_[kTemplateCount][kTemplateSlot] = {};
    std::size_t templateLength_[kTemplateCount] = {};
    Status readError_;
};

}  // namespace ms
