#include "ipc/xhr_digest_cache.h"

xhr_digest_cache& xhr_digest_cache::instance() {
    static xhr_digest_cache cache;
    return cache;
}

bool xhr_digest_cache::find(const std::string& path, int64_t modified_s, std::string& digest) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(path);
    if (it == entries_.end() || it->second.first != modified_s) return false;
    digest = it->second.second;
    return true;
}

void xhr_digest_cache::store(const std::string& path, int64_t modified_s, const std::string& digest) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[path] = {modified_s, digest};
}
