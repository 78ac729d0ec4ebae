#pragma once

#include <string>

#include "ipc/http/http_response.h"
#include "ipc/net/ipc_protocol.h"

class http_request;
class Message;

// What the HTTP client protocols (xhr, web, raw-web) share: printing a request with "Host", and
// reading responses off the connection. A response is complete at its length, at the end of its
// chunked body, or, without either, at the connection's close (delivered before the reset). 1xx
// interim responses are skipped. A response the parser refuses, or one above the connection's
// receive limit, fails the connection with the parser's text; nothing is thrown to the loop. After
// a response that says "Connection: close", or that came with both a length and "chunked", the
// connection is closed; requests wait for the next connection while such a response is delivered.
class IPCProtocolHTTPClient : public IPCProtocol {
public:
    explicit IPCProtocolHTTPClient(IPCConn* connection);

    void reset() override;
    size_t receive_data(const char* data, size_t length) override;

protected:
    // Hands a complete response on to the endpoint; may throw, which fails the connection.
    virtual void receive_response(const http_response& response) = 0;
    // A response is complete and the parser is ready for the next: before it is delivered.
    virtual void on_response_done() {}
    // The request as it goes on the wire, with "Host" (the peer's address) unless it has one.
    // Throws when the record refuses the request.
    std::string print_request(http_request& request) const;
    // True while a response that ends the connection is being delivered: nothing can be sent then.
    bool is_closing() const { return is_closing_; }
    // The method of the request whose response comes next (a response to HEAD has no body).
    void expect_response_to(const std::string& method) { response_.set_request_method(method); }

private:
    // Delivers the completed response; false when the connection was closed after it.
    bool finish_response();
    void deliver(const http_response& done);

    http_response response_;  // the response being received
    bool is_closing_ = false;
};
