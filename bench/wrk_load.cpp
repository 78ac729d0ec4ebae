#include "bench/wrk_load.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// "812.00us", "1.23ms" or "1.02s" in microseconds.
double duration_us(const std::string& text) {
    const double value = std::atof(text.c_str());
    if (text.find("us") != std::string::npos) return value;
    if (text.find("ms") != std::string::npos) return value * 1000;
    return value * 1000000;
}

}  // namespace

WrkFigures run_wrk(const std::string& url, int seconds) {
    const std::string command = "wrk -t1 -c64 -d" + std::to_string(seconds) + "s --latency '" + url + "'";
    WrkFigures figures;
    FILE* output = popen(command.c_str(), "r");
    if (!output) return figures;
    char line[512];
    while (fgets(line, sizeof line, output)) {
        std::istringstream words(line);
        std::string first;
        std::string second;
        words >> first >> second;
        if (first == "99%") figures.p99_us = duration_us(second);
        if (first == "Requests/sec:") figures.requests_per_s = std::atof(second.c_str());
        if (second == "requests") figures.requests = std::atol(first.c_str());
    }
    pclose(output);
    return figures;
}
