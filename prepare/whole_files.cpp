#include "prepare/whole_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "failure/write_fully.hpp"

namespace prepare {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ > 2) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now, for the error a close may report on a written file.
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

mode_t creation_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

int write_through(const std::string& path, std::string_view bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        return errno;
    }
    const int error = recio::write_fully(file.get(), bytes);
    const int close_error = file.close();
    return error != 0 ? error : close_error;
}

}  // namespace

std::variant<std::string, int> read_whole_file(const std::string& path) {
    Descriptor file(path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return errno;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return errno;
    }
    if (S_ISDIR(status.st_mode)) {
        return EISDIR;
    }
    std::string content;
    if (S_ISREG(status.st_mode) && status.st_size > 0) {
        content.reserve(static_cast<std::size_t>(status.st_size));
    }
    constexpr std::size_t kBlock = 1 << 16;
    while (true) {
        const std::size_t size = content.size();
        content.resize(size + kBlock);
        const ssize_t got = ::read(file.get(), content.data() + size, kBlock);
        if (got < 0 && errno == EINTR) {
            content.resize(size);
            continue;
        }
        if (got <= 0) {
            content.resize(size);
            if (got < 0) {
                return errno;
            }
            return content;
        }
        content.resize(size + static_cast<std::size_t>(got));
    }
}

int write_whole_file(const std::string& path, std::string_view bytes) {
    struct stat status {};
    const bool exists = ::lstat(path.c_str(), &status) == 0;
    if (exists && !S_ISREG(status.st_mode)) {
        return write_through(path, bytes);
    }
    const std::size_t slash = path.rfind('/');
    std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                            ".emodul-prepare.XXXXXX";
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) {
        // No room for a second name beside it (a folder we may not write):
        // the file itself may still be writable.
        return write_through(path, bytes);
    }
    int error = ::fchmod(file.get(), exists ? status.st_mode & 07777 : creation_mode()) == 0 ? 0 : errno;
    if (error == 0) {
        error = recio::write_fully(file.get(), bytes);
    }
    const int close_error = file.close();
    error = error != 0 ? error : close_error;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

}  // namespace prepare
