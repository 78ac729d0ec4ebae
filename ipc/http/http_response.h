#pragma once

#include <cstdint>
#include <string>

#include "ipc/http/http_message.h"

// An HTTP response: the record whose start line is "PROTOCOL/major.minor code reason" (the version
// may be missing). The code is three digits. A response to HEAD, and any 1xx, 204 or 304, has no
// body whatever its header says. Printing refuses a reason holding CR or LF.
class http_response : public http_message {
public:
    explicit http_response(const std::string& line_end) : http_message(line_end) {}

    // Empties the record for the next response; the request method stays until set again.
    void reset() override;

    uint32_t status() const { return status_; }
    const std::string& reason() const { return reason_; }
    void set_status(uint32_t code, const std::string& reason);
    // One more "Set-Cookie": name="value"; Version="1".
    void add_cookie(const std::string& name, const std::string& value);
    // The method of the request this response answers.
    void set_request_method(const std::string& method) { request_method_ = method; }

protected:
    void read_start_line() override;
    std::string print_start_line() const override;
    bool has_no_body() const override;

private:
    uint32_t status_ = 0;
    std::string reason_;
    std::string request_method_;
};
