#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <vector>

// Prints the normal console table, then figures of the subclass's own made from each benchmark's
// representative run: with repetitions its median, otherwise its single run. Failed runs and the
// other aggregates (mean, deviation) are passed over.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that piped or logged output stays plain text.
    MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const auto& run : reports) {
            if (run.error_occurred) continue;
            const bool is_median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !is_median) continue;
            take(run, is_median);
        }
    }

protected:
    // A representative run; a median replaces whatever single run of the same benchmark came before.
    virtual void take(const Run& run, bool is_median) = 0;
};
