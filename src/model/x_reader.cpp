#include "model/x_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace ms {
namespace {

constexpr char kCtrlZ = 0x1A;

constexpr std::array<bool, 256> CharClass(const char* members) {
    std::array<bool, 256> table{};
    for (const char* p = members; *p; ++p) table[static_cast<unsigned char>(*p)] = true;
    return table;
}

constexpr std::array<bool, 256> kWordChar = CharClass("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
constexpr std::array<bool, 256> kNumberChar = CharClass("0123456789.-+");

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Converts the longest prefix of [p, end) of the form digits [. digits] that holds a digit, as
// the C library converts decimal text to double. False when there is no such prefix.
bool ConvertUnsigned(const char* p, const char* end, double& value) {
    // One pass gathers the digits; the mantissa is only used while it holds at most 19 of them.
    std::uint64_t mantissa = 0;
    std::size_t digits = 0, fractionDigits = 0;
    const char* q = p;
    for (; q != end && IsDigit(*q); ++q, ++digits) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
    const char* integerEnd = q;
    if (q != end && *q == '.')
        for (++q; q != end && IsDigit(*q); ++q, ++digits, ++fractionDigits)
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
    if (digits == 0) return false;
    // Fast path: a mantissa exact in a double divided by an exact power of ten rounds once,
    // correctly.
    if (digits <= 19 && fractionDigits <= 22 && mantissa <= (std::uint64_t{1} << 53)) {
        value = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
        return true;
    }
    auto [stop, error] = std::from_chars(p, q, value, std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        // Beyond the range of a double: infinity when a non-zero digit precedes the decimal
        // point, else zero.
        value = 0.0;
        for (const char* d = p; d != integerEnd; ++d)
            if (*d != '0') value = HUGE_VAL;
    }
    return error == std::errc() || error == std::errc::result_out_of_range;
}

// Converts a collected run of 0-9 . - + characters: [sign] digits [. digits], stopping at the
// first character that does not fit; 0 when no digit comes in time.
float ConvertNumber(const char* begin, const char* end) {
    bool negative = false;
    if (begin != end && (*begin == '-' || *begin == '+')) negative = *begin++ == '-';
    double value = 0.0;
    if (!ConvertUnsigned(begin, end, value)) return 0.0f;
    return static_cast<float>(negative ? -value : value);
}

// The line feeds in [p, end), eight bytes at a time: a byte is zero after the XOR exactly where
// it was a line feed, and the high bit of each byte of `nonZero` says whether it is not zero.
std::int64_t CountLineFeeds(const char* p, const char* end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kLow7 = kOnes * 0x7F, kHigh = kOnes * 0x80;
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
    std::int64_t total = 0;
    while (end - p >= 8) {
        std::uint64_t lanes = 0;  // a count per byte lane, below 256 for up to 255 words
        for (int i = 0; i < 255 && end - p >= 8; ++i, p += 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            std::uint64_t x = word ^ (kOnes * '\n');
            std::uint64_t nonZero = ((x & kLow7) + kLow7) | x;
            lanes += (~nonZero & kHigh) >> 7;
        }
        std::uint64_t pairs = (lanes & kEvenBytes) + ((lanes >> 8) & kEvenBytes);  // four 16-bit sums
        total += static_cast<std::int64_t>((pairs * 0x0001000100010001ull) >> 48);
    }
    for (; p != end; ++p) total += *p == '\n';
    return total;
}

}  // namespace

XReader::XReader(std::size_t blockSize) : blockSize_(std::max<std::size_t>(blockSize, 1)) {}

Status XReader::Open(const std::string& path) {
    if (Status s = file_.Open(path); !s) return s;
    block_.resize(std::min<std::uint64_t>(blockSize_, file_.size()) + 1);
    begin_ = pos_ = end_ = block_.data() + 1;
    return Status::Ok();
}

Status XReader::ReadHeader() {
    char header[12];
    std::size_t length = 0;
    for (int c; length < sizeof header && (c = Get()) >= 0;) header[length++] = static_cast<char>(c);
    if (length == 0) return Status::Error("not a .x file: the file is empty");
    if (length < 4 || std::memcmp(header, "xof ", 4) != 0)
        return Status::Error("not a .x file: it does not start with \"xof \"");
    if (length < 8 || !std::all_of(header + 4, header + 8, [](char c) { return IsDigit(c); }))
        return Status::Error("not a .x file: \"xof \" is not followed by a four-digit version");
    const std::string format(header + 8, length - 8);
    if (format == "txt ") return Status::Ok();
    if (format == "bin ") return Status::Error("a binary .x file: only text .x files are read");
    if (format == "tzip" || format == "bzip")
        return Status::Error("a compressed .x file (" + format + "): only text .x files are read");
    return Status::Error("not a .x file: the format after the version is not \"txt \"");
}

void XReader::SetTemplates(const char (*table)[kTemplateSlot]) {
    for (int k = 0; k < kTemplateCount; ++k) {
        std::memcpy(templates_[k], table[k], kTemplateSlot);
        templateLength_[k] = strnlen(templates_[k], kTemplateSlot);
    }
}

bool XReader::Refill() {
    if (ended_ || block_.empty()) return false;
    linesBefore_ += CountLineFeeds(begin_, end_);
    lineMark_ = nullptr;
    char* raw = block_.data() + 1;
    for (;;) {
        begin_ = pos_ = end_ = raw;
        std::uint64_t left = file_.remaining();
        if (left == 0) {
            ended_ = true;
            if (!heldCr_) return false;
            heldCr_ = false;  // a CR was the file's last character: it stays
            begin_ = pos_ = raw - 1;
            *begin_ = '\r';
            return true;
        }
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block_.size() - 1));
        if (!file_.ReadBytes(raw, n)) {
            readError_ = Status::Error("cannot read the file after byte " + std::to_string(file_.offset()) + ": " +
                                       (file_.readError().empty() ? "the read failed" : file_.readError()));
            Stop();
            return false;
        }
        char* start = raw;
        if (heldCr_) {
            heldCr_ = false;
            if (*raw != '\n') *--start = '\r';  // a lone CR stays; CR LF becomes the LF alone
        }
        begin_ = pos_ = start;
        end_ = Translate(start, raw + n);
        if (pos_ != end_) return true;
        if (ended_) return false;
    }
}

// Drops the CR of each CR LF pair in place and ends the text at a Ctrl-Z. A CR at the end of the
// block is held back until the next block shows what follows it.
char* XReader::Translate(char* begin, char* end) {
    auto* cr = static_cast<char*>(std::memchr(begin, '\r', end - begin));
    auto* ctrlZ = static_cast<char*>(std::memchr(begin, kCtrlZ, end - begin));
    char* in = std::min(cr ? cr : end, ctrlZ ? ctrlZ : end);
    char* out = in;
    while (in != end) {
        char c = *in++;
        if (c == '\r') {
            if (in == end) {
                heldCr_ = true;
                break;
            }
            if (*in == '\n') continue;
        } else if (c == kCtrlZ) {
            ended_ = true;
            break;
        }
        *out++ = c;
    }
    return out;
}

int XReader::MatchTemplate(const char* word, std::size_t length) const {
    if (length >= kTemplateSlot || IsDigit(word[0])) return 0;
    for (int k = 0; k < kTemplateCount; ++k)
        if (templateLength_[k] == length && std::memcmp(templates_[k], word, length) == 0) return k + 1;
    return 0;
}

int XReader::ReadKeyword() {
    char word[kTemplateSlot];
    std::size_t length = 0;
    for (;;) {
        int c = Get();
        if (c < 0) return kEnd;
        if (kWordChar[c]) {
            if (length < sizeof word) word[length] = static_cast<char>(c);
            ++length;
            continue;
        }
        if (length > 0) {
            if (int token = MatchTemplate(word, length)) return token;
            // A template declaration ("template Name {") names data templates; read as data it
            // would make junk. The word inside data (quoted, or before a separator) is not one.
            const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
            if (blank && length == 8 && std::memcmp(word, "template", 8) == 0) SkipBlock();
            length = 0;  // the word is dropped with the character that ended it
            continue;
        }
        if (c == '{') return kOpenBrace;
        if (c == '}') return kCloseBrace;
    }
}

bool XReader::ReadNumber() {
    int c;
    do {
        c = Get();
        if (c < 0) return false;
    } while (!kNumberChar[c]);
    const char* start = pos_ - 1;
    while (pos_ != end_ && kNumberChar[static_cast<unsigned char>(*pos_)]) ++pos_;
    if (pos_ != end_) {
        lastNumber_ = ConvertNumber(start, pos_);
        current_ = static_cast<unsigned char>(*pos_++);
        return true;
    }
    // The run reaches the end of the block: collect it before the block is refilled.
    spill_.assign(start, static_cast<std::size_t>(pos_ - start));
    while ((c = Get()) >= 0 && kNumberChar[c]) spill_.push_back(static_cast<char>(c));
    lastNumber_ = ConvertNumber(spill_.data(), spill_.data() + spill_.size());
    return true;
}

void XReader::SkipToBrace() {
    current_ = 0;
    for (;;) {
        if (pos_ == end_ && !Refill()) {
            current_ = -1;
            return;
        }
        if (auto* brace = static_cast<char*>(std::memchr(pos_, '}', end_ - pos_))) {
            pos_ = brace + 1;
            current_ = '}';
            return;
        }
        pos_ = end_;
    }
}

void XReader::SkipBlock() {
    int c = current_;
    while (c != '{')
        if ((c = Get()) < 0) return;
    for (std::int64_t depth = 1; depth > 0;) {
        if ((c = Get()) < 0) return;
        if (c == '{') ++depth;
        if (c == '}') --depth;
    }
}

std::string XReader::ReadName(std::size_t maxLength) {
    std::string name;
    for (int c = current_; c >= 0 && c != '{'; c = Get())
        if (c != ' ' && name.size() < maxLength) name.push_back(static_cast<char>(c));
    return name;
}

std::string XReader::ReadReference(std::size_t maxLength) {
    std::string name;
    for (int c = Get(); c >= 0 && c != '}'; c = Get())
        if (name.size() < maxLength) name.push_back(static_cast<char>(c));
    return name;
}

std::string XReader::ReadQuotedFileName(std::size_t maxLength) {
    std::string name;
    int quotes = 0;
    for (int c = Get(); c >= 0; c = Get()) {
        if (c == '"') {
            if (++quotes == 2) break;
        } else if (quotes == 1) {
            if (c == '\\')
                name.clear();
            else if (name.size() < maxLength)
                name.push_back(static_cast<char>(c));
        }
    }
    return name;
}

std::int64_t XReader::Line() const {
    // Counts on from where the last call stopped in this block, so that asking at every
    // character costs no more than one pass over the text.
    if (!lineMark_ || lineMark_ < begin_ || lineMark_ > pos_) {
        lineMark_ = begin_;
        linesAtMark_ = 0;
    }
    linesAtMark_ += CountLineFeeds(lineMark_, pos_);
    lineMark_ = pos_;
    std::int64_t before = linesBefore_ + linesAtMark_;
    if (current_ == '\n' && pos_ != begin_) --before;  // a line feed belongs to the line it ends
    return before + 1;
}

std::uint64_t XReader::RemainingBound() const {
    std::uint64_t inBlock = static_cast<std::uint64_t>(end_ - pos_);
    return ended_ ? inBlock : inBlock + file_.remaining() + (heldCr_ ? 1 : 0);
}

void XReader::Stop() {
    pos_ = end_;
    ended_ = true;
    heldCr_ = false;
}

}  // namespace ms
