#include "tests/support/recording_endpoint.h"

#include "ipc/net/ipc_conn.h"

namespace test_support {

void RecordingEndpoint::on_connection_state() {
    IPCEndpointClient::on_connection_state();
    std::lock_guard<std::mutex> lock(mutex_);
    states_.push_back(connection() ? connection()->state() : -1);
}

void RecordingEndpoint::on_authenticated() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++authenticated_count_;
    }
    IPCEndpointClient::on_authenticated();
}

void RecordingEndpoint::on_auth_failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++auth_failed_count_;
}

void RecordingEndpoint::handle_response(const Message& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    responses_.push_back(reply);
}

void RecordingEndpoint::handle_unsolicited(const Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    unsolicited_.push_back(message);
}

std::vector<Message> RecordingEndpoint::responses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return responses_;
}

std::vector<Message> RecordingEndpoint::unsolicited() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unsolicited_;
}

int RecordingEndpoint::authenticated_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return authenticated_count_;
}

int RecordingEndpoint::auth_failed_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return auth_failed_count_;
}

std::vector<int> RecordingEndpoint::states() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return states_;
}

}  // namespace test_support
