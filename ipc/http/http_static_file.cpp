#include "ipc/http/http_static_file.h"

#include <algorithm>
#include <cerrno>

#include "ipc/http/http_message.h"

http_static_file::http_static_file(const std::string& real_root, const std::string& relative)
    : kind_(open_below(real_root, relative)) {}

http_static_file::~http_static_file() {
    platform::close_file(fd_);
}

http_static_file::Kind http_static_file::open_below(const std::string& real_root, const std::string& relative) {
    if (real_root.empty()) return Kind::kMissing;
    const std::string path = real_root + "/" + relative;
    // Without a symlink on the way, the path under the resolved root is the real path. With one, the
    // kernel's record of what was opened must lie below the root.
    fd_ = platform::open_read_only_without_symlinks(path);
    if (fd_ >= 0) {
        real_path_ = path;
    } else {
        fd_ = platform::open_read_only(path);
        if (fd_ < 0) return errno == ENOENT || errno == ENOTDIR ? Kind::kMissing : Kind::kRefused;
        const std::string opened = platform::opened_path(fd_);
        const std::string below_root = real_root == "/" ? real_root : real_root + "/";
        if (opened != real_root && opened.compare(0, below_root.size(), below_root) != 0) return Kind::kRefused;
        real_path_ = opened;
    }
    if (!platform::file_status(fd_, &status_)) return Kind::kRefused;
    if (status_.is_directory) return Kind::kDirectory;
    return status_.is_regular ? Kind::kRegular : Kind::kRefused;
}

bool http_static_file::read(std::string& out) const {
    out.clear();
    out.reserve(status_.size + http_message::kHeadRoomBytes);
    char piece[kReadPiece];
    // No further than the size the limits were checked against, should the file grow meanwhile.
    while (out.size() < status_.size) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(sizeof piece, status_.size - out.size()));
        const ssize_t count = platform::read_bytes(fd_, piece, wanted);
        if (count < 0) return false;
        if (count == 0) break;
        out.append(piece, static_cast<size_t>(count));
    }
    return true;
}
