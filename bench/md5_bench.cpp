// Our MD5 against OpenSSL's on the same buffers, at a login-sized input (64 B) and at a file-serving
// piece (8 KiB). Bytes per second are reported for both, and their ratio (ours / OpenSSL) at the end.

#include <benchmark/benchmark.h>
#include <openssl/md5.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/median_reporter.h"
#include "ipc/base/md5.h"

namespace {

std::vector<unsigned char> make_input(size_t length) {
    std::vector<unsigned char> bytes(length);
    uint32_t state = 0x12345678;
    for (auto& byte : bytes) {
        state = state * 1664525 + 1013904223;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

void BM_md5_ours(benchmark::State& state) {
    const auto input = make_input(static_cast<size_t>(state.range(0)));
    unsigned char digest[16];
    for (auto _ : state) {
        md5_context context;
        md5_init(context);
        md5_update(context, input.data(), input.size());
        md5_final(context, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_md5_openssl(benchmark::State& state) {
    const auto input = make_input(static_cast<size_t>(state.range(0)));
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state) {
        // The one-shot low-level call is the same init/update/final path as ours, without the EVP
        // lookup that would otherwise dominate at 64 bytes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        MD5(input.data(), input.size(), digest);
#pragma GCC diagnostic pop
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_md5_ours)->Arg(64)->Arg(8192);
BENCHMARK(BM_md5_openssl)->Arg(64)->Arg(8192);

// Prints the normal console table, then ours / OpenSSL per input size.
class RatioReporter : public MedianReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [size, by_name] : rates_) {
            const auto ours = by_name.find("BM_md5_ours");
            const auto openssl = by_name.find("BM_md5_openssl");
            if (ours == by_name.end() || openssl == by_name.end() || openssl->second <= 0) continue;
            std::printf("md5 %s bytes: ours %.1f MiB/s, OpenSSL %.1f MiB/s, ratio %.3f\n", size.c_str(),
                        ours->second / 1048576, openssl->second / 1048576, ours->second / openssl->second);
        }
    }

protected:
    void take(const Run& run, bool is_median) override {
        const auto rate = run.counters.find("bytes_per_second");
        if (rate == run.counters.end()) return;
        auto& slot = rates_[run.run_name.args][run.run_name.function_name];
        if (is_median || slot == 0) slot = rate->second.value;
    }

private:
    std::map<std::string, std::map<std::string, double>> rates_;  // input size -> function -> bytes/s
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
