#include "platform/file_ops.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {

int open_read_only(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

int open_read_only_without_symlinks(const std::string& path) {
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    how.resolve = RESOLVE_NO_SYMLINKS;
    return static_cast<int>(syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
}

bool file_status(int fd, FileStatus* status) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    status->is_directory = S_ISDIR(info.st_mode);
    status->is_regular = S_ISREG(info.st_mode);
    status->size = static_cast<uint64_t>(info.st_size);
    status->modified_ns = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

std::string opened_path(int fd) {
    // The kernel keeps the resolved path of what a descriptor opened: one call, no walk of the
    // path's components as realpath() would make.
    char path[PATH_MAX];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return length > 0 && static_cast<size_t>(length) < sizeof path ? std::string(path, static_cast<size_t>(length))
                                                                   : std::string();
}

std::string resolved_path(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

ssize_t read_bytes(int fd, char* buffer, size_t capacity) {
    ssize_t count;
    do {
        count = read(fd, buffer, capacity);
    } while (count < 0 && errno == EINTR);
    return count;
}

void close_file(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace platform
