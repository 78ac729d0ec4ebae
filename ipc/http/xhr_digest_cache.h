#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// The MD5 digests (32 lower-case hex digits) of the files the xhr servers hand out, by real path,
// each valid for the modification time and size it was made at: a repeated request costs a status
// call, not a read. The time is kept to the nanosecond: a file rewritten within the second it was
// hashed in must not keep its old digest, or clients holding the old content are told it is current.
// One for the process, never pruned; it grows with the files served.
//
// Threads: any. Servers of several managers share it; every call takes its mutex.
class xhr_digest_cache {
public:
    static xhr_digest_cache& instance();

    // The digest stored for the path, when it was made at that modification time and size.
    bool find(const std::string& path, int64_t modified_ns, uint64_t size, std::string& digest) const;
    void store(const std::string& path, int64_t modified_ns, uint64_t size, const std::string& digest);

private:
    mutable std::mutex mutex_;
    struct Entry {
        int64_t modified_ns;
        uint64_t size;
        std::string digest;
    };
    std::map<std::string, Entry> entries_;  // by path
};
