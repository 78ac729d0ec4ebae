#include "sessions/key_warnings.h"

KeyWarnings::Verdict KeyWarnings::admit(const QString& key) {
    if (named_keys_.contains(key)) return Verdict::kDrop;  // once per key: a repeat is not news
    if (named_keys_.size() >= kNamedKeys) {
        ++dropped_;
        return Verdict::kDrop;
    }
    named_keys_.insert(key);
    return named_keys_.size() == kNamedKeys ? Verdict::kWriteLast : Verdict::kWrite;
}

bool KeyWarnings::admit_fixed(const QString& key) {
    if (fixed_keys_.contains(key)) return false;
    fixed_keys_.insert(key);
    return true;
}

int KeyWarnings::take_dropped_count() {
    const int dropped = dropped_;
    dropped_ = 0;
    named_keys_.clear();
    fixed_keys_.clear();
    return dropped;
}
