#include "sim/saved/whole_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string reason()
{
    return std::strerror(errno);
}

// Closes a descriptor when it goes.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

bool readWholeFile(const std::string& path, uint64_t largest, std::string& bytes, std::string& problem)
{
    Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat status {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0)
        return problem = reason(), false;
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return problem = reason(), false;
    }
    if (S_ISREG(status.st_mode) && uint64_t(status.st_size) > largest)
        return problem = "too large", false;
    bytes.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return problem = reason(), false;
        if (got == 0)
            return true;
        if (bytes.size() + size_t(got) > largest)
            return problem = "too large", false;
        bytes.append(buffer, size_t(got));
    }
}

bool writeWholeFile(const std::string& path, std::string_view bytes, std::string& problem)
{
    // Through a link, the file it names is written.
    std::string target = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat before {};
    const bool existed = ::stat(target.c_str(), &before) == 0;
    std::string temporary;
    Descriptor file;
    for (int attempt = 0; file.fd < 0; ++attempt) {
        temporary = target + ".saving-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        file.fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd < 0 && (errno != EEXIST || attempt == 100))
            return problem = reason(), false;
    }
    auto fail = [&] {
        problem = reason();
        ::unlink(temporary.c_str());
        return false;
    };
    if (existed && ::fchmod(file.fd, before.st_mode & 07777) != 0)
        return fail();
    for (size_t written = 0; written < bytes.size();) {
        const ssize_t put = ::write(file.fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return fail();
        written += size_t(put);
    }
    if (::fsync(file.fd) != 0)
        return fail();
    const int descriptor = file.fd;
    file.fd = -1;
    if (::close(descriptor) != 0 || ::rename(temporary.c_str(), target.c_str()) != 0)
        return fail();
    return true;
}
