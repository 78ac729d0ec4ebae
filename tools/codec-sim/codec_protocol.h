#pragma once

#include <string>

#include "ipc/protocols/ipc_protocol_xmls_server.h"

class CodecEndpoint;
struct SimulatedCodec;

// The xmls server protocol of a simulated codec. On top of the library's server it
//   - records every received frame when the fleet records;
//   - tells the endpoint when the peer has been let in, right after that reply has been written
//     (the program counts "systemOpts" only when it comes after its login succeeded);
//   - in legacy mode, plays an old codec that knows no greeting: "hello" gets no answer and "ping"
//     a bare <pong/> without "seq", which makes the peer fall back to the unversioned dialect;
//   - once the fleet has gone silent or deaf, neither answers nor handles anything;
//   - lets the endpoint spoil an answer to "ping" (HostileKind::kSwallowedPings);
//   - writes every frame in Latin-1 when the fleet does (CodecSimOptions::writes_latin1).
//
// Threads: as its connection, on the fleet's loop thread.
class CodecProtocol : public IPCProtocolXMLSServer {
public:
    CodecProtocol(IPCConn* connection, SimulatedCodec& codec);

    void reset() override;
    size_t receive_data(const char* data, size_t length) override;
    void receive_message(Message& request) override;
    void transmit_xml(const Message& message) override;
    // Sends a frame (XML text and its NUL) as this codec writes it.
    void send_frame(std::string frame);

private:
    // The connection's endpoint, once made.
    CodecEndpoint* codec_endpoint() const;
    // Records each complete frame of the input once, before any of them is handled.
    void record_frames(const char* data, size_t length);

    SimulatedCodec& codec_;       // not owned; outlives every connection
    size_t recorded_length_ = 0;  // how much of the kept input has been recorded
    bool has_admitted_ = false;
};
