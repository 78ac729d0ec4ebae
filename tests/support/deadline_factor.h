#pragma once

#include <chrono>

namespace test_support {

// Every give-up deadline of the tests is multiplied by one factor, so that a loaded or sanitized
// machine makes the suite slower, never red. A give-up deadline is for a hung test: the work is
// done long before it. A window in which something must not happen, or the pace of a trickle, is
// not one and is never scaled.
//
// The factor is the whole number in KESTRANE_TEST_DEADLINE_FACTOR (1 to 100); without one, 1 in a
// plain build and kSanitizedFactor in a sanitized one. The test presets set it (CMakePresets.json).
int deadline_factor();

// `deadline` multiplied by the factor: how long a wait on this machine goes on before it gives up.
std::chrono::milliseconds give_up_after(std::chrono::milliseconds deadline);
// The same in whole milliseconds, for the calls that take an int (Qt's, poll()).
int give_up_after_ms(std::chrono::milliseconds deadline);

inline constexpr int kSanitizedFactor = 4;

// The factor `text` names, or `fallback` when it names none from 1 to 100 (said on stderr when it is
// not empty: a mistyped factor must not quietly shorten every deadline).
int read_deadline_factor(const char* text, int fallback);

}  // namespace test_support
