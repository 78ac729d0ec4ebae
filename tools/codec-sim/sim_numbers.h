#pragma once

#include <cstdint>
#include <string>

// The arithmetic of codec-sim's model: what its seeded values and its noise are made of, and how
// it reads and rounds the whole numbers of its requests and reports.
namespace codec_sim {

// A hash of `x`: nearby inputs give unrelated outputs.
uint64_t mix(uint64_t x);
// a / b rounded towards minus infinity, so that times before the origin fall in the right tick.
int64_t floor_div(int64_t a, int64_t b);
// A whole decimal int, nothing before or after it.
bool parse_int(const std::string& text, int& out);
// `value` rounded to the nearest int within [low, high].
int clamp_int(double value, int low, int high);

}  // namespace codec_sim
