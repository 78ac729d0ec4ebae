#pragma once

#include <locale.h>

namespace platform {

// The "C" locale, for the *_l functions (strtof_l and friends), which take it without switching
// the thread's locale. Made once, never freed.
locale_t c_locale();

// Switches the calling thread to the "C" locale for its lifetime, so that printf- and scanf-family
// calls read and write numbers with a decimal point whatever the process locale is (a de_DE
// operator's machine would otherwise write "1,500000" into files and onto the wire).
// Thread-local (uselocale), cheap, and nestable.
class ScopedCLocale {
public:
    ScopedCLocale();
    ~ScopedCLocale();
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t previous_;
};

}  // namespace platform
