// Our HTTP request reader beside the http_parser library on the same request heads: a 300-byte
// head, one with a 4 KiB cookie, and one of 64 KiB. The reference collects the header names and
// values its callbacks report, the least a server does with them. A second figure feeds the 64 KiB
// head to our reader one byte per call, against the whole head in one call. The ratios are printed
// at the end (ours / http_parser per head; one byte per call / whole).

#include <benchmark/benchmark.h>
#include <http_parser.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/median_reporter.h"
#include "ipc/http/http_request.h"

namespace {

std::string make_head(const std::string& extra_headers) {
    return "GET /api/v1/codecs/17/peers?fields=name,state&limit=50 HTTP/1.1\r\n"
           "Host: 192.0.2.17:8080\r\n"
           "User-Agent: Mozilla/5.0 (X11; Linux x86_64) Kestrane/0.1\r\n"
           "Accept: application/xml, text/xml;q=0.9, */*;q=0.8\r\n"
           "Accept-Language: en-GB,en;q=0.8\r\n"
           "Accept-Encoding: identity\r\n"
           "Connection: keep-alive\r\n" +
           extra_headers + "\r\n";
}

std::string repeated_header(const char* name, size_t count, size_t value_length) {
    std::string headers;
    for (size_t i = 0; i < count; ++i)
        headers += name + std::to_string(i) + ": " + std::string(value_length, 'v') + "\r\n";
    return headers;
}

const std::string kHead300 = make_head("X-Request-Id: 4bf92f35\r\n");
const std::string kCookieHead = make_head("Cookie: session=" + std::string(4096, 'c') + "\r\n");
const std::string kHead64k = make_head(repeated_header("X-Filler-", 200, 300));

struct Headers {
    std::vector<std::pair<std::string, std::string>> fields;
    bool is_in_value = false;
};

int on_header_field(http_parser* parser, const char* at, size_t length) {
    auto* headers = static_cast<Headers*>(parser->data);
    if (headers->fields.empty() || headers->is_in_value) headers->fields.emplace_back();
    headers->fields.back().first.append(at, length);
    headers->is_in_value = false;
    return 0;
}

int on_header_value(http_parser* parser, const char* at, size_t length) {
    auto* headers = static_cast<Headers*>(parser->data);
    headers->fields.back().second.append(at, length);
    headers->is_in_value = true;
    return 0;
}

void reference(benchmark::State& state, const std::string& head) {
    http_parser_settings settings;
    http_parser_settings_init(&settings);
    settings.on_header_field = on_header_field;
    settings.on_header_value = on_header_value;
    http_parser parser;
    Headers headers;
    for (auto _ : state) {
        http_parser_init(&parser, HTTP_REQUEST);
        parser.data = &headers;
        headers.fields.clear();
        const size_t taken = http_parser_execute(&parser, &settings, head.data(), head.size());
        if (taken != head.size() || parser.http_errno != HPE_OK) state.SkipWithError("http_parser refused the head");
        benchmark::DoNotOptimize(headers.fields.data());
    }
}

void ours(benchmark::State& state, const std::string& head, size_t bytes_per_call) {
    http_request request("\r\n");
    request.set_unknown_length(http_message::UnknownLength::kNone);
    for (auto _ : state) {
        request.reset();
        for (size_t offset = 0; offset < head.size(); offset += bytes_per_call) {
            request.parse(head.data() + offset, static_cast<uint32_t>(std::min(bytes_per_call, head.size() - offset)));
        }
        if (!request.is_complete()) state.SkipWithError("our reader did not complete the head");
        benchmark::DoNotOptimize(request.method().data());
    }
}

// Prints the console table, then the ratios.
class RatioReporter : public MedianReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* head : {"head_300", "cookie_4k", "head_64k"}) {
            print_ratio(std::string("ours / http_parser, ") + head, std::string("ours/") + head,
                        std::string("http_parser/") + head);
        }
        print_ratio("one byte per call / whole, head_64k", "ours_bytewise/head_64k", "ours/head_64k");
    }

protected:
    void take(const Run& run, bool is_median) override {
        double& slot = times_[run.run_name.function_name];
        if (is_median || slot == 0) slot = run.GetAdjustedRealTime();
    }

private:
    void print_ratio(const std::string& label, const std::string& numerator, const std::string& denominator) {
        const auto top = times_.find(numerator);
        const auto bottom = times_.find(denominator);
        if (top == times_.end() || bottom == times_.end() || bottom->second <= 0) return;
        std::printf("%s: %.2f\n", label.c_str(), top->second / bottom->second);
    }

    std::map<std::string, double> times_;  // benchmark name -> real time per iteration
};

}  // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, const std::string*> heads[] = {{"head_300", &kHead300},
                                                                {"cookie_4k", &kCookieHead},
                                                                {"head_64k", &kHead64k}};
    for (const auto& [name, head] : heads) {
        benchmark::RegisterBenchmark((std::string("http_parser/") + name).c_str(), reference, *head);
        benchmark::RegisterBenchmark((std::string("ours/") + name).c_str(), ours, *head, head->size());
    }
    benchmark::RegisterBenchmark("ours_bytewise/head_64k", ours, kHead64k, size_t{1});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
