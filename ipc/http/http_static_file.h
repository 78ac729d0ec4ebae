#pragma once

#include <cstdint>
#include <string>

#include "platform/file_ops.h"

// One file or directory below a server's file root, opened for reading. What was opened is what
// gets checked: it must lie at or below the root once every symlink is resolved, and be a regular
// file or a directory; anything else is refused. Closes its descriptor when destroyed.
class http_static_file {
public:
    enum class Kind { kMissing, kRefused, kDirectory, kRegular };
    static constexpr size_t kReadPiece = 16384;

    // Opens real_root + "/" + relative: real_root is the root with its symlinks resolved (empty:
    // no root, nothing found), relative holds no ".." and no leading "/".
    http_static_file(const std::string& real_root, const std::string& relative);
    ~http_static_file();
    http_static_file(const http_static_file&) = delete;
    http_static_file& operator=(const http_static_file&) = delete;

    Kind kind() const { return kind_; }
    uint64_t size() const { return status_.size; }
    int64_t modified_ns() const { return status_.modified_ns; }
    // The real path of what was opened; empty when it was refused for lying outside the root.
    const std::string& real_path() const { return real_path_; }
    // The content up to the size it had when opened, read in pieces of kReadPiece bytes; false on
    // a read error. It is read into storage with room for the head of a response to spare, so that
    // a file sent as a body goes out of this one buffer (http_message::take_serialized).
    bool read(std::string& out) const;

private:
    Kind open_below(const std::string& real_root, const std::string& relative);

    int fd_ = -1;
    platform::FileStatus status_;
    std::string real_path_;
    Kind kind_;
};
