#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

// The MD5 digests (32 lower-case hex digits) of the files the xhr servers hand out, by real path,
// each valid for the modification time it was made at: a repeated request costs a status call,
// not a read. One for the process, never pruned; it grows with the files served.
//
// Threads: any. Servers of several managers share it; every call takes its mutex.
class xhr_digest_cache {
public:
    static xhr_digest_cache& instance();

    // The digest stored for the path, when it was made at that modification time.
    bool find(const std::string& path, int64_t modified_s, std::string& digest) const;
    void store(const std::string& path, int64_t modified_s, const std::string& digest);

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::pair<int64_t, std::string>> entries_;  // path -> (time, digest)
};
