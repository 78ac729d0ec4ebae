#pragma once

#include <string>

// What one wrk run reported.
struct WrkFigures {
    double requests_per_s = 0;
    double p99_us = 0;
    long requests = 0;
};

// Loads `url` with wrk (-t1 -c64 --latency) for `seconds` in a child process and reads its summary.
// All zero when wrk could not be started.
WrkFigures run_wrk(const std::string& url, int seconds);
