#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ipc/net/ipc_endpoint_client.h"

namespace test_support {

// A client endpoint that records what reaches it, for transport tests. The loop thread writes the
// records; tests read copies through the accessors, which take the endpoint's own mutex.
class RecordingEndpoint : public IPCEndpointClient {
public:
    void on_connection_state() override;
    void on_authenticated() override;
    void on_auth_failed() override;
    std::string getPassword() const override { return password; }
    int reconnect_delay() const override { return reconnect_delay_s; }
    int protocol_version() const override { return version_offered; }
    void handle_response(const Message& reply) override;
    void handle_unsolicited(const Message& message) override;

    std::vector<Message> responses() const;
    std::vector<Message> unsolicited() const;
    int authenticated_count() const;
    int auth_failed_count() const;
    std::vector<int> states() const;  // each connection state seen, -1 meaning no connection

    // Set before the endpoint is connected.
    std::string password;
    int reconnect_delay_s = 10;
    int version_offered = 1;

private:
    mutable std::mutex mutex_;
    std::vector<Message> responses_;
    std::vector<Message> unsolicited_;
    int authenticated_count_ = 0;
    int auth_failed_count_ = 0;
    std::vector<int> states_;
};

}  // namespace test_support
