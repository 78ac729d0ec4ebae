// What hostile or broken input costs the library, beside the harmless case it should cost no more
// than:
//  - socket-loop passes per second while an endpoint's address is not valid, beside a valid address
//    whose connects are refused (both wait out the reconnect delay between attempts);
//  - peak memory of one xmls frame of entity references (a DOCTYPE declaring a 4000-character
//    entity, then references to it up to the frame's size), received through the xmls framing and
//    decoded with Message::parse, beside a plain frame of the same size. Each case runs in a child
//    process of its own, so each peak is that case's alone.
//
// Usage: hostile_input_bench [seconds per loop run, default 2] [frame size in KiB, default 2048]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_recursive_mutex.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/net/ipc_manager.h"
#include "ipc/protocols/ipc_protocol_xmls_client.h"
#include "platform/socket_ops.h"

namespace {

class CountingManager : public IPCManager {
public:
    IPCMutex* get_lock() const override { return &lock_; }
    void on_loop() override { ++passes; }
    std::atomic<uint64_t> passes{0};

private:
    mutable IPCRecursiveMutex lock_;
};

// Loop passes per second while one endpoint connects to `address` over and over.
double loop_passes_per_second(const std::string& address, double seconds) {
    CountingManager manager;
    IPCEndpointClient endpoint;
    std::thread loop([&] { manager.event_loop(); });
    manager.add_endpoint("codec", &endpoint);
    manager.connect("xmls", "stream", IPCAddress(address, 0), "codec", 0);
    const uint64_t start = manager.passes;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));  // measuring a rate
    const uint64_t passes = manager.passes - start;
    manager.stop();
    loop.join();
    manager.remove_endpoint("codec");
    return static_cast<double>(passes) / seconds;
}

// A port on 127.0.0.1 where nothing listens: bound once, then closed.
std::string refused_address() {
    const IPCAddress any("127.0.0.1:0", 0);
    const int fd = platform::open_listening_socket(any.sockaddr_ptr(), any.length(), 1);
    sockaddr_storage bound{};
    socklen_t length;
    platform::local_address(fd, &bound, &length);
    platform::close_socket(fd);
    return IPCAddress(reinterpret_cast<const sockaddr*>(&bound), length).to_string();
}

std::string entity_frame(size_t size) {
    std::string text = "<!DOCTYPE a [<!ENTITY e \"" + std::string(4000, 'x') + "\">]><a>";
    while (text.size() + 3 + 4 < size) text += "&e;";
    return text + "</a>";
}

std::string plain_frame(size_t size) {
    return "<a v=\"" + std::string(size - 10, 'x') + "\"/>";
}

// Receives the text as one xmls frame on a client connection that has logged in.
void receive_as_frame(const std::string& text) {
    IPCEndpointClient endpoint;
    auto* connection = new IPCConnStream(nullptr, 0);
    connection->set_protocol(new IPCProtocolXMLSClient(connection));
    endpoint.set_connection(connection);
    connection->on_data(text + '\0');
    std::printf("    frame: %s\n", connection->is_failed() ? connection->error().c_str() : "accepted");
}

void parse_whole(const std::string& text) {
    try {
        Message message;
        message.parse(text);
        std::printf("    parse: accepted\n");
    } catch (const Exception& error) {
        std::printf("    parse: %s\n", error.what());
    }
}

// Peak resident memory of a child that runs `work`, in MiB.
double child_peak_mib(const std::function<void()>& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        work();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const size_t frame_size = (argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2048) * 1024 - 1;

    std::printf("socket-loop passes per second, %.1f s each\n", seconds);
    const double refused = loop_passes_per_second(refused_address(), seconds);
    const double invalid = loop_passes_per_second("codec-a:5004", seconds);
    std::printf("  refused address %-12s %10.1f\n", "", refused);
    std::printf("  invalid address %-12s %10.1f   (%.1f x refused)\n", "codec-a:5004", invalid,
                refused > 0 ? invalid / refused : 0.0);

    std::printf("peak memory of one %zu-byte frame (child process, MiB)\n", frame_size + 1);
    const double idle = child_peak_mib([] {});
    const double plain = child_peak_mib([&] {
        const std::string text = plain_frame(frame_size);
        receive_as_frame(text);
        parse_whole(text);
    });
    const double entities = child_peak_mib([&] {
        const std::string text = entity_frame(frame_size);
        receive_as_frame(text);
        parse_whole(text);
    });
    std::printf("  idle child           %8.1f\n", idle);
    std::printf("  plain frame          %8.1f   (+%.1f)\n", plain, plain - idle);
    std::printf("  entity references    %8.1f   (+%.1f, %.1f x plain)\n", entities, entities - idle,
                plain > idle ? (entities - idle) / (plain - idle) : 0.0);
    return 0;
}
