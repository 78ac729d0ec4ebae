#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Appends every frame the simulated codecs receive to a text file, one line per frame:
//   2024-05-01T12:00:00.123456Z 5004 <getPeerList seq="peerList"/>
// (UTC wall time, the codec's port, the frame's bytes without its NUL). Bytes below 0x20, 0x7F and
// the backslash are written as \xHH so that a line is always one frame; other bytes go as they came.
// Each line is flushed at once, so a reader sees a frame as soon as the codec has it.
//
// Threads: used on the fleet's loop thread only.
class FrameRecorder {
public:
    // Throws Exception when the file cannot be opened for appending.
    explicit FrameRecorder(const std::string& path);
    ~FrameRecorder();
    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;

    void record(uint16_t port, const std::string& frame);

    // The line text of a frame as described above, without time and port.
    static std::string escape(const std::string& frame);

private:
    std::FILE* file_;  // owned
    bool has_reported_error_ = false;
};
