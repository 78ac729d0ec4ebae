// Message parse and serialise against their peers on the same bytes, in one process:
//  - a bare QXmlStreamReader pass with no tree built: the floor for a parser built on that reader;
//  - a bare QXmlStreamWriter emitting the same elements from ready-made QStrings;
//  - QDomDocument, and pugixml as the outside reference.
// Three documents: a 200-byte metering report, a peer list of 50 peers (about 10 KB) and a 1 MB
// configuration-like file. After the runs a table gives the ratios against the goals: parse at
// least 0.75 of the bare reader and at least 2x QDomDocument; serialise at least 0.75 of the bare
// writer.
//
// Then the frames of a fleet as codec-sim sends them (the statistics, tunnel and level reports and
// the peer-list reply of 32 codecs, each at eight moments and out of phase with the others), read
// by the frame reader that parses what peers send, beside the stream reader it replaced and
// pugixml: the frame reader at least 10x the stream reader.
//
// Absolute times mean little on a shared machine; the ratios are the result, taken from the
// medians of --benchmark_repetitions runs (use 5 or more on a busy machine).
//
// For the 1 MB file about a third of the parse time goes to glibc returning the freed tree to the
// kernel and faulting the pages in again on the next parse; the bare reader frees almost nothing.
// MALLOC_TRIM_THRESHOLD_=536870912 MALLOC_TOP_PAD_=33554432 in the environment shows the parser
// without that effect.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDomDocument>
#include <QString>
#include <QVector>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/median_reporter.h"
#include "ipc/message/message.h"
#include "ipc/protocols/ipc_protocol_xmls.h"
#include "tools/codec-sim/codec_model.h"

namespace {

struct Document {
    const char* name;
    std::string bytes;
    bool is_formatted;
};

Message metering_report() {
    Message report;
    report.set_name("unso");
    report.attributes().set("id", "meters");
    for (int channel = 1; channel <= 2; ++channel) {
        Message& meter = report.add_child("meter");
        meter.attributes().set("ch", channel);
        meter.attributes().set("peak", -6.0f * static_cast<float>(channel));
        meter.attributes().set("rms", -18.5f);
    }
    report.add_child("link").attributes().set("state", "up");
    return report;
}

Message peer_list() {
    Message list;
    list.set_name("unso");
    list.attributes().set("id", "peers");
    for (int i = 0; i < 50; ++i) {
        Message& peer = list.add_child("peer");
        peer.attributes().set("id", i);
        peer.attributes().set("name", "Studio " + std::to_string(i) + " & OB van");
        peer.attributes().set("address", "10.0.1." + std::to_string(i) + ":5004");
        peer.attributes().set("codec", "opus");
        peer.attributes().set("rate", 48000u);
        peer.attributes().set("enabled", i % 3 != 0);
        Message& link = peer.add_child("link");
        link.attributes().set("rtt", 12.5f);
        link.attributes().set("loss", 0.25f);
        link.attributes().set("state", "connected");
    }
    return list;
}

Message configuration(size_t bytes) {
    Message config;
    config.set_name("kt-config");
    config.attributes().set("version", 3);
    std::string text;
    for (int i = 0;; ++i) {
        Message& codec = config.add_child("codec");
        codec.attributes().set("name", "Codec " + std::to_string(i));
        codec.attributes().set("address",
                               "192.168." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":5000");
        codec.attributes().set("user", "operator");
        Message& profile = codec.add_child("profile");
        profile.attributes().set("rate", 48000u);
        profile.attributes().set("bitrate", 256);
        profile.attributes().set("mode", "stereo");
        codec.add_child("schedule").attributes().set("start", "07:00");
        if (i % 64 == 63) {
            config.write_xml(text, true);
            if (text.size() >= bytes) return config;
        }
    }
}

const std::vector<Document>& documents() {
    static const std::vector<Document> all = [] {
        std::vector<Document> made;
        std::string text;
        metering_report().write_xml(text, false);
        made.push_back({"report", text, false});
        peer_list().write_xml(text, false);
        made.push_back({"peers", text, false});
        configuration(1 << 20).write_xml(text, true);
        made.push_back({"config", text, true});
        return made;
    }();
    return all;
}

// The frames of one kind as a fleet sends them, without their NUL.
struct FrameSet {
    std::string kind;
    std::vector<std::string> frames;
    size_t bytes = 0;

    void add(const Message& message) {
        std::string frame = IPCProtocolXMLS::frame(message);
        frame.pop_back();
        bytes += frame.size();
        frames.push_back(std::move(frame));
    }
};

// Each codec's reports at eight moments a second apart, codec i a further 31 ms late, and its reply
// to "getPeerList"; "all" holds all of them.
const std::vector<FrameSet>& fleet_frames() {
    static const std::vector<FrameSet> all = [] {
        constexpr int kCodecs = 32;
        constexpr int kMoments = 8;
        const char* const kReports[] = {"peer_stats", "channel_stats", "tun_stats", "tun_conns", "metering"};
        std::vector<FrameSet> sets;
        for (const char* kind : kReports) sets.push_back({kind, {}, 0});
        sets.push_back({"peer_list", {}, 0});
        for (int index = 0; index < kCodecs; ++index) {
            const CodecModel model(index);
            for (int moment = 1; moment <= kMoments; ++moment) {
                const int64_t now_us = moment * int64_t{1000000} + index * int64_t{31000};
                for (size_t kind = 0; kind < std::size(kReports); ++kind) {
                    Message report;
                    report.set_name("unso");
                    report.attributes().set("id", kReports[kind]);
                    if (model.report(kReports[kind], now_us, report.add_child())) sets[kind].add(report);
                }
            }
            Message request;
            request.set_name("getPeerList");
            request.attributes().set("seq", "peerList");
            Message reply;
            reply.set_name("resp");
            reply.attributes().set("seq", "peerList");
            CodecModel(index).handle_request(request, kMoments * int64_t{1000000}, reply);
            sets.back().add(reply);
        }
        FrameSet every{"all", {}, 0};
        for (const FrameSet& set : sets) {
            every.frames.insert(every.frames.end(), set.frames.begin(), set.frames.end());
            every.bytes += set.bytes;
        }
        sets.push_back(std::move(every));
        return sets;
    }();
    return all;
}

void count(benchmark::State& state, const std::string& bytes) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

void count_frames(benchmark::State& state, const FrameSet& set) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * set.frames.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.bytes));
}

// Message::parse_from_peer (the frame reader) or parse_from_peer_by_stream_reader, asked as the
// xmls protocol asks whether the frame was read as Latin-1.
using ReadFrame = int (Message::*)(const char*, size_t, bool*);

void read_frames(benchmark::State& state, const FrameSet* set, ReadFrame read) {
    for (auto _ : state) {
        for (const std::string& frame : set->frames) {
            Message message;
            bool has_read_latin1 = false;
            (message.*read)(frame.data(), frame.size(), &has_read_latin1);
            benchmark::DoNotOptimize(message.size() + has_read_latin1);
        }
    }
    count_frames(state, *set);
}

void read_frames_pugixml(benchmark::State& state, const FrameSet* set) {
    for (auto _ : state) {
        for (const std::string& frame : set->frames) {
            pugi::xml_document xml;
            benchmark::DoNotOptimize(xml.load_buffer(frame.data(), frame.size()));
        }
    }
    count_frames(state, *set);
}

void parse_message(benchmark::State& state, const Document* document) {
    for (auto _ : state) {
        Message message;
        message.parse(document->bytes);
        benchmark::DoNotOptimize(message.size());
    }
    count(state, document->bytes);
}

void parse_bare_reader(benchmark::State& state, const Document* document) {
    const QByteArray bytes = QByteArray::fromRawData(document->bytes.data(), static_cast<int>(document->bytes.size()));
    // One reader fed a document at a time, as Message::parse does: constructing a reader costs
    // more than reading a small message.
    QXmlStreamReader reader;
    for (auto _ : state) {
        reader.clear();
        reader.addData(bytes);
        while (!reader.atEnd()) reader.readNext();
        benchmark::DoNotOptimize(reader.hasError());
    }
    count(state, document->bytes);
}

void parse_qdom(benchmark::State& state, const Document* document) {
    const QByteArray bytes = QByteArray::fromRawData(document->bytes.data(), static_cast<int>(document->bytes.size()));
    for (auto _ : state) {
        QDomDocument dom;
        benchmark::DoNotOptimize(dom.setContent(bytes));
    }
    count(state, document->bytes);
}

void parse_pugixml(benchmark::State& state, const Document* document) {
    for (auto _ : state) {
        pugi::xml_document xml;
        benchmark::DoNotOptimize(xml.load_buffer(document->bytes.data(), document->bytes.size()));
    }
    count(state, document->bytes);
}

void serialize_message(benchmark::State& state, const Document* document) {
    const Message message(document->bytes);
    std::string out;
    for (auto _ : state) {
        message.serialize(Message::XML, out, document->is_formatted);
        benchmark::DoNotOptimize(out.data());
    }
    count(state, document->bytes);
}

// The elements of a document as a QXmlStreamWriter user would hold them: QStrings, ready to write.
struct WriteStep {
    bool is_start;
    QString name;
    QVector<QPair<QString, QString>> attributes;
};

void flatten(const Message& node, std::vector<WriteStep>& steps) {
    WriteStep start{true, QString::fromStdString(node.name()), {}};
    for (const auto& entry : node.attributes()) {
        start.attributes.append(
            {QString::fromStdString(entry.first), QString::fromStdString(entry.second.to_string())});
    }
    steps.push_back(std::move(start));
    for (int row = 0; row < node.size(); ++row) flatten(node.get_child(row), steps);
    steps.push_back({false, QString(), {}});
}

void serialize_bare_writer(benchmark::State& state, const Document* document) {
    std::vector<WriteStep> steps;
    flatten(Message(document->bytes), steps);
    for (auto _ : state) {
        QByteArray out;
        QXmlStreamWriter writer(&out);
        writer.setAutoFormatting(document->is_formatted);
        writer.writeStartDocument();
        for (const WriteStep& step : steps) {
            if (!step.is_start) {
                writer.writeEndElement();
                continue;
            }
            writer.writeStartElement(step.name);
            for (const auto& attribute : step.attributes) writer.writeAttribute(attribute.first, attribute.second);
        }
        writer.writeEndDocument();
        benchmark::DoNotOptimize(out.data());
    }
    count(state, document->bytes);
}

void serialize_qdom(benchmark::State& state, const Document* document) {
    QDomDocument dom;
    dom.setContent(QByteArray::fromRawData(document->bytes.data(), static_cast<int>(document->bytes.size())));
    for (auto _ : state) benchmark::DoNotOptimize(dom.toByteArray(document->is_formatted ? 4 : -1).size());
    count(state, document->bytes);
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void serialize_pugixml(benchmark::State& state, const Document* document) {
    pugi::xml_document xml;
    xml.load_buffer(document->bytes.data(), document->bytes.size());
    const unsigned flags = document->is_formatted ? pugi::format_default : pugi::format_raw;
    for (auto _ : state) {
        StringWriter writer;
        xml.save(writer, "    ", flags);
        benchmark::DoNotOptimize(writer.out.data());
    }
    count(state, document->bytes);
}

// Collects each benchmark's median time per iteration (its single run without repetitions), by
// the benchmark's own name, for the ratios.
class RatioReporter : public MedianReporter {
public:
    std::map<std::string, double> seconds;

private:
    void take(const Run& run, bool) override {
        seconds[run.run_name.str()] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
};

void print_ratio(const RatioReporter& reporter, const std::string& ours, const std::string& theirs, const char* what,
                 double goal) {
    const auto mine = reporter.seconds.find(ours);
    const auto other = reporter.seconds.find(theirs);
    if (mine == reporter.seconds.end() || other == reporter.seconds.end()) return;
    const double ratio = other->second / mine->second;  // our speed relative to theirs
    std::printf("%-22s %-34s %6.2f  (goal >= %.2f) %s\n", ours.c_str(), what, ratio, goal,
                goal > 0 && ratio < goal ? "BELOW GOAL" : "");
}

}  // namespace

int main(int argc, char** argv) {
    for (const Document& document : documents()) {
        const std::string name = document.name;
        const Document* d = &document;
        benchmark::RegisterBenchmark(("parse/" + name + "/message").c_str(), parse_message, d);
        benchmark::RegisterBenchmark(("parse/" + name + "/bare_reader").c_str(), parse_bare_reader, d);
        benchmark::RegisterBenchmark(("parse/" + name + "/qdom").c_str(), parse_qdom, d);
        benchmark::RegisterBenchmark(("parse/" + name + "/pugixml").c_str(), parse_pugixml, d);
        benchmark::RegisterBenchmark(("serialize/" + name + "/message").c_str(), serialize_message, d);
        benchmark::RegisterBenchmark(("serialize/" + name + "/bare_writer").c_str(), serialize_bare_writer, d);
        benchmark::RegisterBenchmark(("serialize/" + name + "/qdom").c_str(), serialize_qdom, d);
        benchmark::RegisterBenchmark(("serialize/" + name + "/pugixml").c_str(), serialize_pugixml, d);
    }
    for (const FrameSet& set : fleet_frames()) {
        const FrameSet* s = &set;
        benchmark::RegisterBenchmark(("frames/" + set.kind + "/frame_reader").c_str(), read_frames, s,
                                     static_cast<ReadFrame>(&Message::parse_from_peer));
        benchmark::RegisterBenchmark(("frames/" + set.kind + "/stream_reader").c_str(), read_frames, s,
                                     &Message::parse_from_peer_by_stream_reader);
        benchmark::RegisterBenchmark(("frames/" + set.kind + "/pugixml").c_str(), read_frames_pugixml, s);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nSpeed of Message relative to each peer (higher is faster; 1.00 = same speed)\n");
    for (const Document& document : documents()) {
        const std::string parse = std::string("parse/") + document.name + "/";
        const std::string write = std::string("serialize/") + document.name + "/";
        std::printf("%s: %zu bytes\n", document.name, document.bytes.size());
        print_ratio(reporter, parse + "message", parse + "bare_reader", "vs bare QXmlStreamReader pass", 0.75);
        print_ratio(reporter, parse + "message", parse + "qdom", "vs QDomDocument", 2.0);
        print_ratio(reporter, parse + "message", parse + "pugixml", "vs pugixml (reference)", 0);
        print_ratio(reporter, write + "message", write + "bare_writer", "vs bare QXmlStreamWriter", 0.75);
        print_ratio(reporter, write + "message", write + "qdom", "vs QDomDocument", 0);
        print_ratio(reporter, write + "message", write + "pugixml", "vs pugixml (reference)", 0);
    }
    std::printf("\nFleet frames: microseconds per frame, and the frame reader's speed relative to each\n");
    for (const FrameSet& set : fleet_frames()) {
        const std::string prefix = "frames/" + set.kind + "/";
        if (reporter.seconds.count(prefix + "frame_reader") == 0) continue;  // filtered out
        const auto per_frame = [&](const char* reader) {
            const auto found = reporter.seconds.find(prefix + reader);
            return found == reporter.seconds.end() ? 0.0 : found->second * 1e6 / static_cast<double>(set.frames.size());
        };
        std::printf("%-14s %4zu frames, %5zu bytes each: frame reader %6.2f, stream reader %6.2f, pugixml %6.2f\n",
                    set.kind.c_str(), set.frames.size(), set.bytes / std::max<size_t>(set.frames.size(), 1),
                    per_frame("frame_reader"), per_frame("stream_reader"), per_frame("pugixml"));
        print_ratio(reporter, prefix + "frame_reader", prefix + "stream_reader", "vs the stream reader", 10.0);
        print_ratio(reporter, prefix + "frame_reader", prefix + "pugixml", "vs pugixml (reference)", 0);
    }
    return 0;
}
