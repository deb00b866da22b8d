#pragma once
// Little-endian binary files, read and written field by field.
//
// FileReader reads a whole file through a large buffer and knows the file's size, so callers can
// check a count against the bytes that are left before they allocate anything for it. Every read
// reports failure instead of returning garbage; the first failure is kept with its offset.
//
// FileReader opens only regular files, and without blocking, so that a FIFO or a device named as
// an input is refused ("is not a regular file", "is a directory") instead of read.
//
// AtomicFileWriter writes to a temporary file beside the target and renames it over the target
// only in Commit(), after every byte was written and flushed; a writer that is destroyed without
// a successful Commit() removes the temporary and leaves the target as it was. The new file keeps
// the target's identity: its mode (and owner, where permitted); a symbolic link stays and the file
// it leads to is replaced; a read-only target is refused. A target that is not a regular file (a
// device, a FIFO, /dev/stdout) is written in place, without a temporary. SIGXFSZ is ignored from
// the first Open() on, so a file that passes the size limit fails with "File too large".
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "base/status.h"

namespace ms {

class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens `path` for binary reading; the error names the path and the system's reason.
    Status Open(const std::string& path);

    std::uint64_t size() const { return size_; }
    std::uint64_t offset() const { return offset_; }
    std::uint64_t remaining() const { return size_ - offset_; }

    // Each returns false at the end of the file (or on a read error) and leaves the output
    // unspecified; the reader stays failed afterwards.
    bool ReadBytes(void* out, std::size_t count);
    bool ReadI32(std::int32_t& out);
    bool ReadU32(std::uint32_t& out);
    bool ReadF32(float& out);
    bool Skip(std::uint64_t count);
    // Why the file gave fewer bytes than its size promised (a read error, with the system's
    // reason); empty when it did not.
    const std::string& readError() const { return readError_; }

private:
    bool Fill();
    void NoteShortRead();
    std::string readError_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t offset_ = 0;
    unsigned char* buffer_ = nullptr;
    std::size_t bufferPos_ = 0;
    std::size_t bufferEnd_ = 0;
};

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file beside the file `path` names, or opens a target that is not a
    // regular file for writing in place.
    Status Open(const std::string& path);

    // Writes are buffered; a failure is remembered and reported by Commit().
    void WriteBytes(const void* data, std::size_t count);
    void WriteI32(std::int32_t value);
    void WriteU32(std::uint32_t value);
    void WriteF32(float value);

    // Flushes, closes and renames the temporary over the target. On failure the temporary is
    // removed and the target is left untouched.
    Status Commit();

    // Test seam: makes every write after `bytes` bytes fail, as a full disk would.
    void FailAfterForTesting(std::uint64_t bytes) { failAfter_ = bytes; }

private:
    Status OpenDirect(const std::string& path);
    bool KeepIdentity();
    void Discard();
    std::FILE* file_ = nullptr;
    std::string target_;  // the file replaced: the path with its symbolic links followed
    bool direct_ = false;
    bool keepMode_ = false;
    unsigned mode_ = 0;
    unsigned owner_ = 0;
    unsigned group_ = 0;
    std::string temp_;
    std::uint64_t written_ = 0;
    std::uint64_t failAfter_ = UINT64_MAX;
    bool failed_ = false;
    std::string error_;
};

}  // namespace ms
