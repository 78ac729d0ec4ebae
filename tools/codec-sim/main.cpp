// codec-sim: N simulated codecs on consecutive loopback ports, until SIGINT or SIGTERM.

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "platform/c_locale.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

const char kUsage[] = "usage: codec-sim [--count N] [--port P] [--host 127.0.0.1|::1] [--password PW]\n"
                      "                 [--mode normal|nologin|refuse|legacy] [--record FILE]\n"
                      "                 [--silent-after S] [--trickle-after S] [--deaf-after S] [--close-after S]\n"
                      "                 [--answer-after S]\n"
                      "                 [--channels N] [--peers N] [--ring-anew] [--panel-call-after S]\n"
                      "                 [--hostile [KIND,...]] [--latin1]\n"
                      "                 [--unknown-ids N] [--fail-cmds REQUEST,...] [--fail-times N]\n"
                      "                 [--quiet-cmds REQUEST,...]\n"
                      "                 [--stamp] [--random-phase]\n"
                      "                 [--long-texts N] [--log-burst N] [--meter-ms MS] [--counts FILE]\n"
                      "  --count N         codecs to run (1..1024; default 1)\n"
                      "  --port P          port of codec 0, codec i on P+i; 0 = any free ports (default)\n"
                      "  --host H          loopback address to listen on (default 127.0.0.1)\n"
                      "  --password PW     login password of every codec (default tarnel)\n"
                      "  --mode M          normal: login asked; nologin; refuse: every login refused;\n"
                      "                    legacy: an unversioned codec (bare pong, bare login)\n"
                      "  --record FILE     append every received frame to FILE, one line each\n"
                      "  --silent-after S  after S seconds, stop answering and publishing\n"
                      "  --trickle-after S after S seconds, stop answering and publishing, but send every peer one\n"
                      "                    byte of a message that never ends every 6 seconds\n"
                      "  --deaf-after S    after S seconds, take no notice of what peers send but go on\n"
                      "                    publishing, as a codec whose link from the program died\n"
                      "  --close-after S   after S seconds, close every connection once\n"
                      "  --answer-after S  a connect's far end answers S seconds after it (fractions allowed);\n"
                      "                    a disconnect of the peer, or of all, before then stops it\n"
                      "  --channels N      channels of every codec (1..16; default 1 or 2): a connect beyond N calls\n"
                      "                    up or ringing is refused, also another of a ringing peer\n"
                      "  --peers N         peers in every codec's peer list (up to 1024; default its own few),\n"
                      "                    as in a large broadcaster's address book\n"
                      "  --ring-anew       another connect of a ringing peer starts its ring again\n"
                      "  --panel-call-after S\n"
                      "                    S seconds after a disconnect stopped a ringing connect, someone at the\n"
                      "                    codec's panel calls that peer again (it rings as a connect does)\n"
                      "  --hostile [LIST]  after each login send hostile frames: childless, unknown, utf8, flood,\n"
                      "                    nul, depth, tag, oversize, huge (3 MiB that the next\n"
                      "                    frame ends), pings (every other answer to a ping goes\n"
                      "                    down inside a frame past the limit), or all (the default)\n"
                      "  --latin1          write every text in Latin-1, as older firmware does, with names that\n"
                      "                    carry accents (\"Köln Südwest\")\n"
                      "  --unknown-ids N   reports with ids of their own that \"unknown\" sends (default 2000)\n"
                      "  --fail-cmds LIST  refuse these requests (e.g. connect,getPeerList) with error 409\n"
                      "  --fail-times N    refuse each of them only N times, then handle it (default 0: always)\n"
                      "  --quiet-cmds LIST answer these requests without seq only when they fail, as a real\n"
                      "                    codec does (e.g. connect,disconnect)\n"
                      "  --stamp           stamp every report with \"sent_us\", the monotonic send time\n"
                      "  --random-phase    each codec's reports lag by a phase of their period of its own, as a\n"
                      "                    real fleet's do (benchmarks), instead of all in the same tick\n"
                      "  --long-texts N    every 2 s each codec renames itself and its first peer and logs an\n"
                      "                    event, each text N characters long without a blank (up to 1600000)\n"
                      "  --log-burst N     every 2 s each codec logs N short events (up to 20000)\n"
                      "  --meter-ms MS     the fastest pace of the level reports (1..60000; default 67): a peer that\n"
                      "                    asks for a longer interval gets them at its own\n"
                      "  --counts FILE     every 100 ms rewrite FILE with \"<us> <reports> <level reports>\": the\n"
                      "                    monotonic time and the reports published so far\n";

void print_error(const std::string& text) {
    platform::ScopedCLocale c_locale;
    std::fprintf(stderr, "codec-sim: %s\n", text.c_str());
}

template <typename T>
bool parse_number(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parse_seconds(const std::string& text, int64_t& out_ms) {
    double seconds = 0;
    if (!parse_number(text, seconds) || !std::isfinite(seconds) || seconds < 0 || seconds > 1e9) return false;
    out_ms = static_cast<int64_t>(std::llround(seconds * 1000));
    return true;
}

// The flags that take no value, and what each switches on.
const std::pair<const char*, bool CodecSimOptions::*> kSwitches[] = {
    {"--stamp", &CodecSimOptions::stamps_reports},
    {"--random-phase", &CodecSimOptions::has_random_phase},
    {"--ring-anew", &CodecSimOptions::rings_anew},
    {"--latin1", &CodecSimOptions::writes_latin1},
};

// What the flag switches on; null when it is no switch.
bool CodecSimOptions::*switch_named(const std::string& flag) {
    for (const auto& [name, is_on] : kSwitches) {
        if (flag == name) return is_on;
    }
    return nullptr;
}

// False, with the reason printed, when the command line is not usable.
bool parse_arguments(int argc, char** argv, CodecSimOptions& options, bool& wants_help) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            wants_help = true;
            return true;
        }
        if (bool CodecSimOptions::*const is_on = switch_named(flag)) {
            options.*is_on = true;
            continue;
        }
        if (flag == "--hostile") {
            // The list is optional: a following word that is not a flag is taken as one.
            const bool has_list = i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0;
            const std::string list = has_list ? argv[++i] : "all";
            if (!CodecSimOptions::hostile_from_list(list, options.hostile)) {
                print_error("unknown hostile kind in \"" + list + "\"");
                return false;
            }
            continue;
        }
        if (i + 1 >= argc) {
            print_error(flag + " needs a value");
            return false;
        }
        const std::string value = argv[++i];
        bool is_valid = true;
        if (flag == "--count") {
            is_valid = parse_number(value, options.count);
        } else if (flag == "--port") {
            is_valid = parse_number(value, options.base_port);
        } else if (flag == "--host") {
            options.host = value;
        } else if (flag == "--password") {
            options.password = value;
        } else if (flag == "--mode") {
            is_valid = CodecSimOptions::mode_from_name(value, options.mode);
        } else if (flag == "--record") {
            options.record_path = value;
        } else if (flag == "--silent-after") {
            is_valid = parse_seconds(value, options.silent_after_ms);
        } else if (flag == "--trickle-after") {
            is_valid = parse_seconds(value, options.trickle_after_ms);
        } else if (flag == "--deaf-after") {
            is_valid = parse_seconds(value, options.deaf_after_ms);
        } else if (flag == "--close-after") {
            is_valid = parse_seconds(value, options.close_after_ms);
        } else if (flag == "--answer-after") {
            is_valid = parse_seconds(value, options.answer_after_ms);
        } else if (flag == "--panel-call-after") {
            is_valid = parse_seconds(value, options.panel_call_after_stop_ms);
        } else if (flag == "--channels") {
            is_valid = parse_number(value, options.channels);
        } else if (flag == "--peers") {
            is_valid = parse_number(value, options.peers);
        } else if (flag == "--unknown-ids") {
            is_valid = parse_number(value, options.unknown_report_count);
        } else if (flag == "--long-texts") {
            is_valid = parse_number(value, options.long_text_length);
        } else if (flag == "--log-burst") {
            is_valid = parse_number(value, options.log_burst);
        } else if (flag == "--meter-ms") {
            is_valid = parse_number(value, options.meter_ms);
        } else if (flag == "--counts") {
            options.counts_path = value;
        } else if (flag == "--fail-cmds") {
            is_valid = CodecSimOptions::requests_from_list(value, options.refused_requests);
        } else if (flag == "--fail-times") {
            is_valid = parse_number(value, options.refusals);
        } else if (flag == "--quiet-cmds") {
            is_valid = CodecSimOptions::requests_from_list(value, options.unanswered_successes);
        } else {
            print_error("unknown option " + flag);
            return false;
        }
        if (!is_valid) {
            print_error("bad value \"" + value + "\" for " + flag);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CodecSimOptions options;
    bool wants_help = false;
    if (!parse_arguments(argc, argv, options, wants_help) || wants_help) {
        std::fputs(kUsage, wants_help ? stdout : stderr);
        return wants_help ? 0 : 2;
    }

    // Blocked before the loop thread exists, so that it inherits the mask and only sigwait below
    // ever takes these signals.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    try {
        CodecSim fleet(options);
        {
            platform::ScopedCLocale c_locale;
            const bool is_ipv6 = options.host == "::1";
            for (size_t i = 0; i < fleet.ports().size(); ++i) {
                std::printf("codec-%zu %s%s%s:%u\n", i, is_ipv6 ? "[" : "", options.host.c_str(), is_ipv6 ? "]" : "",
                            unsigned{fleet.ports()[i]});
            }
            std::fflush(stdout);
        }
        int received = 0;
        sigwait(&stop_signals, &received);
        fleet.stop();
    } catch (const std::exception& e) {
        print_error(e.what());
        return 1;
    }
    return 0;
}
