#include "tools/codec-sim/frame_recorder.h"

#include <QDate>

#include <chrono>

#include "ipc/base/exception.h"
#include "ipc/base/logger.h"
#include "platform/c_locale.h"
#include "platform/error_text.h"

namespace {

constexpr qint64 kSecondsPerDay = 24 * 60 * 60;

}  // namespace

FrameRecorder::FrameRecorder(const std::string& path) : file_(std::fopen(path.c_str(), "ab")) {
    if (!file_) {
        throw Exception("FrameRecorder: cannot open \"%s\": %s", path.c_str(), platform::last_error_text().c_str());
    }
}

FrameRecorder::~FrameRecorder() {
    std::fclose(file_);
}

std::string FrameRecorder::escape(const std::string& frame) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(frame.size());
    for (const char c : frame) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void FrameRecorder::record(uint16_t port, const std::string& frame) {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(since_epoch).count();
    const qint64 seconds = us / 1000000;
    // The calendar by plain arithmetic rather than gmtime_r: glibc takes its time-zone lock there,
    // which ThreadSanitizer cannot see, against the GUI thread's local-time conversions.
    const QDate date = QDate(1970, 1, 1).addDays(seconds / kSecondsPerDay);
    const int second_of_day = static_cast<int>(seconds % kSecondsPerDay);
    char stamp[96];
    {
        platform::ScopedCLocale c_locale;
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ %u ", date.year(), date.month(),
                      date.day(), second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60,
                      static_cast<int>(us % 1000000), unsigned{port});
    }
    std::string line = stamp;
    line += escape(frame);
    line += '\n';
    const bool is_written = std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
    if (!is_written && !has_reported_error_) {
        // Once: a full disk would otherwise log a line per received frame.
        ipc_logger().log(2, "FrameRecorder::record: writing failed: %s", platform::last_error_text().c_str());
        has_reported_error_ = true;
    }
}
