#include "base/binary_io.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static_assert(std::endian::native == std::endian::little,
              "file fields are copied as they stand in memory: little-endian hosts only");

namespace ms {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

FileReader::~FileReader() {
    if (file_) std::fclose(file_);
    std::free(buffer_);
}

Status FileReader::Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return Status::Error("cannot open '" + path + "': " + SystemReason());
    if (std::fseek(file_, 0, SEEK_END) != 0) return Status::Error("cannot seek in '" + path + "'");
    long end = std::ftell(file_);
    if (end < 0) return Status::Error("'" + path + "' is not a regular file");
    std::rewind(file_);
    size_ = static_cast<std::uint64_t>(end);
    buffer_ = static_cast<unsigned char*>(std::malloc(kBufferSize));
    if (!buffer_) return Status::Error("out of memory");
    return Status::Ok();
}

bool FileReader::Fill() {
    bufferPos_ = 0;
    bufferEnd_ = std::fread(buffer_, 1, kBufferSize, file_);
    return bufferEnd_ > 0;
}

bool FileReader::ReadBytes(void* out, std::size_t count) {
    if (!file_ || count > remaining()) return false;
    auto* dst = static_cast<unsigned char*>(out);
    while (count > 0) {
        if (bufferPos_ == bufferEnd_) {
            // Large blocks go straight to their destination, past the buffer.
            if (count >= kBufferSize) {
                std::size_t got = std::fread(dst, 1, count, file_);
                offset_ += got;
                if (got != count) return false;
                return true;
            }
            if (!Fill()) return false;
        }
        std::size_t n = std::min(count, bufferEnd_ - bufferPos_);
        std::memcpy(dst, buffer_ + bufferPos_, n);
        bufferPos_ += n;
        dst += n;
        count -= n;
        offset_ += n;
    }
    return true;
}

bool FileReader::ReadI32(std::int32_t& out) { return ReadBytes(&out, 4); }
bool FileReader::ReadU32(std::uint32_t& out) { return ReadBytes(&out, 4); }
bool FileReader::ReadF32(float& out) { return ReadBytes(&out, 4); }

bool FileReader::Skip(std::uint64_t count) {
    if (!file_ || count > remaining()) return false;
    std::uint64_t inBuffer = bufferEnd_ - bufferPos_;
    if (count <= inBuffer) {
        bufferPos_ += count;
    } else {
        if (std::fseek(file_, static_cast<long>(offset_ + count), SEEK_SET) != 0) return false;
        bufferPos_ = bufferEnd_ = 0;
    }
    offset_ += count;
    return true;
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

Status AtomicFileWriter::Open(const std::string& path) {
    target_ = path;
    temp_ = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp_.data());
    if (fd < 0) {
        temp_.clear();
        return Status::Error("cannot create a file beside '" + path + "': " + SystemReason());
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        Discard();
        return Status::Error("cannot write '" + path + "': " + SystemReason());
    }
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
    return Status::Ok();
}

void AtomicFileWriter::WriteBytes(const void* data, std::size_t count) {
    if (failed_ || !file_ || count == 0) return;
    if (written_ + count > failAfter_) {
        failed_ = true;
        error_ = "no space left on device";
        return;
    }
    if (std::fwrite(data, 1, count, file_) != count) {
        failed_ = true;
        error_ = SystemReason();
        return;
    }
    written_ += count;
}

void AtomicFileWriter::WriteI32(std::int32_t value) { WriteBytes(&value, 4); }
void AtomicFileWriter::WriteU32(std::uint32_t value) { WriteBytes(&value, 4); }
void AtomicFileWriter::WriteF32(float value) { WriteBytes(&value, 4); }

Status AtomicFileWriter::Commit() {
    if (!file_) return Status::Error("cannot write '" + target_ + "': the file is not open");
    if (!failed_ && std::fflush(file_) != 0) {
        failed_ = true;
        error_ = SystemReason();
    }
    if (!failed_ && ::fsync(::fileno(file_)) != 0 && errno != EINVAL) {
        failed_ = true;
        error_ = SystemReason();
    }
    int closed = std::fclose(file_);
    file_ = nullptr;
    if (!failed_ && closed != 0) {
        failed_ = true;
        error_ = SystemReason();
    }
    if (failed_) {
        Discard();
        return Status::Error("cannot write '" + target_ + "': " + error_);
    }
    // mkstemp creates the file readable by its owner only; give it the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temp_.c_str(), 0666 & ~mask);
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        std::string reason = SystemReason();
        Discard();
        return Status::Error("cannot replace '" + target_ + "': " + reason);
    }
    temp_.clear();
    return Status::Ok();
}

void AtomicFileWriter::Discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace ms
