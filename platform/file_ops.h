#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {

// Reading files for a server that hands them to peers. The descriptor is what gets checked: its
// type, size and modification time come from fstat, and its real path from the kernel's record of
// what was opened, so a file swapped for a symlink between a check and the read changes nothing.
// Functions that can fail return -1 or false and leave errno set; none logs.

struct FileStatus {
    bool is_directory = false;
    bool is_regular = false;
    uint64_t size = 0;
    int64_t modified_ns = 0;  // st_mtim, in nanoseconds
};

// Opens read-only and close-on-exec. Non-blocking too, so that a FIFO cannot stall the caller:
// it opens at once and is then refused for not being a regular file.
int open_read_only(const std::string& path);
// As open_read_only, for a path with no symlink anywhere on it: fails (ELOOP) at the first one,
// and on kernels without openat2 (ENOSYS). What opens then lies exactly where the path says.
int open_read_only_without_symlinks(const std::string& path);
bool file_status(int fd, FileStatus* status);
// The canonical absolute path of what the descriptor refers to (as realpath() would give it);
// empty on failure.
std::string opened_path(int fd);
// realpath(); empty on failure.
std::string resolved_path(const std::string& path);
ssize_t read_bytes(int fd, char* buffer, size_t capacity);
void close_file(int fd);

}  // namespace platform
