#include "base/binary_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

static_assert(std::endian::native == std::endian::little,
              "file fields are copied as they stand in memory: little-endian hosts only");

namespace ms {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;

std::string SystemReason() { return std::strerror(errno); }

// What a path names that is not a regular file, for the messages.
std::string NotRegular(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows the symbolic links of `path` to the name they end at, which may not exist yet (a link
// to a file still to be made). False after 40 links, as the system's own limit.
bool FollowLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) return false;
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : DirectoryOf(path) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

// A file that grows past the process's file-size limit would otherwise end the program with
// SIGXFSZ; ignored, the write fails with EFBIG and the save is cleaned up and reported.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

}  // namespace

FileReader::~FileReader() {
    if (file_) std::fclose(file_);
    std::free(buffer_);
}

Status FileReader::Open(const std::string& path) {
    // Opened without blocking, so that a FIFO cannot hold the program; only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Status::Error("cannot open '" + path + "': " + SystemReason());
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const std::string reason = SystemReason();
        ::close(fd);
        return Status::Error("cannot open '" + path + "': " + reason);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::Error("cannot open '" + path + "': it " + NotRegular(st));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
        const std::string reason = SystemReason();
        ::close(fd);
        return Status::Error("cannot open '" + path + "': " + reason);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    buffer_ = static_cast<unsigned char*>(std::malloc(kBufferSize));
    if (!buffer_) return Status::Error("out of memory");
    return Status::Ok();
}

bool FileReader::Fill() {
    bufferPos_ = 0;
    bufferEnd_ = std::fread(buffer_, 1, kBufferSize, file_);
    if (bufferEnd_ == 0) NoteShortRead();
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
                if (got != count) {
                    NoteShortRead();
                    return false;
                }
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

void FileReader::NoteShortRead() {
    if (readError_.empty())
        readError_ = std::ferror(file_) ? SystemReason() : "the file ended early: it was shortened while being read";
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
    IgnoreFileSizeSignal();
    target_ = path;
    const std::string cannot = "cannot write '" + path + "': ";
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return Status::Error(cannot + "it is a directory");
    if (exists && !S_ISREG(st.st_mode)) return OpenDirect(path);
    // A symbolic link stays: the file it leads to is replaced.
    if (!FollowLinks(target_)) return Status::Error(cannot + SystemReason());
    if (exists) {
        if ((st.st_mode & 0222) == 0) return Status::Error(cannot + "the file is read-only");
        if (::access(target_.c_str(), W_OK) != 0) return Status::Error(cannot + SystemReason());
        keepMode_ = true;
        mode_ = st.st_mode & 07777;
        owner_ = st.st_uid;
        group_ = st.st_gid;
    }
    // A short name, so that it fits wherever the target's name fits.
    temp_ = DirectoryOf(target_) + "/." + BaseOf(target_).substr(0, 100) + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp_.data());
    if (fd < 0) {
        temp_.clear();
        return Status::Error("cannot create a file beside '" + path + "': " + SystemReason());
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        Discard();
        return Status::Error(cannot + SystemReason());
    }
    std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
    return Status::Ok();
}

// A device, FIFO or socket is written in place: there is no file to replace.
Status AtomicFileWriter::OpenDirect(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return Status::Error("cannot write '" + path + "': " + SystemReason());
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        return Status::Error("cannot write '" + path + "': " + SystemReason());
    }
    direct_ = true;
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
    // Pipes and devices cannot be synced; only a regular file's data must reach the disk.
    if (!failed_ && !direct_ && ::fsync(::fileno(file_)) != 0 && errno != EINVAL) {
        failed_ = true;
        error_ = SystemReason();
    }
    if (!failed_ && !direct_ && !KeepIdentity()) {
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
    if (direct_) return Status::Ok();
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        std::string reason = SystemReason();
        Discard();
        return Status::Error("cannot replace '" + target_ + "': " + reason);
    }
    temp_.clear();
    return Status::Ok();
}

// Gives the temporary the target's owner (where permitted) and mode, or for a new file the
// usual permissions (mkstemp creates it readable by its owner only).
bool AtomicFileWriter::KeepIdentity() {
    const int fd = ::fileno(file_);
    if (!keepMode_) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return ::fchmod(fd, 0666 & ~mask) == 0;
    }
    // Only root may give a file away: otherwise the new file stays ours, in the target's group
    // when we belong to it. Neither failure stops the save.
    if (::fchown(fd, owner_, group_) != 0 && ::fchown(fd, static_cast<uid_t>(-1), group_) != 0) errno = 0;
    return ::fchmod(fd, mode_) == 0;
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
