#include "platform/c_locale.h"

namespace platform {

// Made once and never freed: it outlives every thread that might still format a number at exit.
locale_t c_locale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

ScopedCLocale::ScopedCLocale() : previous_(uselocale(c_locale())) {}

ScopedCLocale::~ScopedCLocale() {
    uselocale(previous_);
}

}  // namespace platform
