#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <iostream>
#include <streambuf>

#include "batch/batch.h"

namespace {

// Standard output through a buffer of our own, so that a failed write keeps the system's reason:
// sync() reports it in errno for the message about the output.
class StandardOutput : public std::streambuf {
public:
    StandardOutput() { setp(buffer_, buffer_ + sizeof buffer_); }
    ~StandardOutput() override { sync(); }

protected:
    int overflow(int c) override {
        if (!Drain()) return traits_type::eof();
        if (c != traits_type::eof()) {
            *pptr() = static_cast<char>(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        if (Drain() && error_ == 0) return 0;
        errno = error_;
        return -1;
    }

private:
    // Writes what the buffer holds; after a failure the rest is dropped and the error kept.
    bool Drain() {
        for (const char* p = pbase(); p < pptr() && error_ == 0;) {
            const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<std::size_t>(pptr() - p));
            if (n >= 0)
                p += n;
            else if (errno != EINTR)
                error_ = errno;
        }
        setp(buffer_, buffer_ + sizeof buffer_);
        return error_ == 0;
    }
    char buffer_[1 << 16];
    int error_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");  // numbers are read and written in the C locale
    std::vector<std::string> args(argv + 1, argv + argc);
    StandardOutput buffer;
    std::ostream out(&buffer);
    return ms::RunBatch(args, out, std::cerr);
}
