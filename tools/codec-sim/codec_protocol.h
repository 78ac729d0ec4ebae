#pragma once

#include <string>

#include "ipc/ipc_protocol_xmls_server.h"

struct SimulatedCodec;

// The xmls server protocol of a simulated codec. On top of the library's server it
//   - records every received frame when the fleet records;
//   - tells the endpoint when the peer has been let in, right after that reply has been written
//     (the program counts "systemOpts" only when it comes after its login succeeded);
//   - in legacy mode, plays an old codec that knows no greeting: "hello" gets no answer and "ping"
//     a bare <pong/> without "seq", which makes the peer fall back to the unversioned dialect;
//   - once the fleet has gone silent, neither answers nor handles anything.
//
// Threads: as its connection, on the fleet's loop thread.
class CodecProtocol : public IPCProtocolXMLSServer {
public:
    CodecProtocol(IPCConn* connection, SimulatedCodec& codec);

    void receive_data(const std::string& bytes) override;
    void receive_message(Message& request) override;

private:
    void record_frames(const std::string& bytes);

    SimulatedCodec& codec_;  // not owned; outlives every connection
    bool has_admitted_ = false;
};
