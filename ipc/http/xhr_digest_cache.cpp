#include "ipc/http/xhr_digest_cache.h"

xhr_digest_cache& xhr_digest_cache::instance() {
    static xhr_digest_cache cache;
    return cache;
}

bool xhr_digest_cache::find(const std::string& path, int64_t modified_ns, uint64_t size, std::string& digest) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(path);
    if (it == entries_.end() || it->second.modified_ns != modified_ns || it->second.size != size) return false;
    digest = it->second.digest;
    return true;
}

void xhr_digest_cache::store(const std::string& path, int64_t modified_ns, uint64_t size, const std::string& digest) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[path] = {modified_ns, size, digest};
}
