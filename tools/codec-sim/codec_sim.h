#pragma once

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "tools/codec-sim/codec_sim_options.h"
#include "tools/codec-sim/simulated_codec.h"

class CodecSimManager;

// A fleet of simulated codecs on consecutive loopback ports, all served by one IPC manager on one
// thread of its own: the test peer of the device sessions, the load of the benchmarks, a demo.
// Codec i is the IPC server "codec-<i>" with its own CodecModel(i); see CodecEndpoint and
// CodecProtocol for what a peer sees.
//
//   CodecSimOptions options;
//   options.count = 4;
//   CodecSim fleet(options);            // listening and running
//   connect to fleet.ports()[2] ...
//
// Threads: construct, stop and destroy on one thread; ports() and options() from any thread;
// peer_count() from any thread (it takes the manager's lock).
class CodecSim {
public:
    // Opens every codec's server and starts the loop. Throws Exception ("CodecSim: ...") when the
    // options are refused, a port cannot be listened on or the record file cannot be opened; nothing
    // is left open or running then.
    explicit CodecSim(const CodecSimOptions& options);
    // Stops the loop, then closes every connection and server.
    ~CodecSim();
    CodecSim(const CodecSim&) = delete;
    CodecSim& operator=(const CodecSim&) = delete;

    // Ends the loop and joins its thread; connections stay open, unanswered, until destruction.
    void stop();

    // Codec i's listening port at index i.
    const std::vector<uint16_t>& ports() const { return ports_; }
    const CodecSimOptions& options() const { return context_.options; }
    // Peers connected over all codecs.
    size_t peer_count() const;

private:
    // Declared in this order so that the manager, whose servers own the endpoints that point into
    // the codecs and the context, is destroyed first.
    CodecSimContext context_;
    std::vector<std::unique_ptr<SimulatedCodec>> codecs_;
    std::unique_ptr<CodecSimManager> manager_;
    std::vector<uint16_t> ports_;
    std::thread loop_thread_;
};
