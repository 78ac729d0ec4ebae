#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ipc/http/http_chunked_decoder.h"

class MessageAttributes;

// One message of the HTTP family: a start line, header lines ("name: value") ended by an empty line,
// and a body. parse() reads it incrementally from bytes as they arrive and answers how many belong
// to this message; the caller keeps the rest for the next one, after reset(). serialize() prints it.
// The line end is fixed at construction: CR LF for HTTP, LF alone for the event socket.
//
// Input is hostile until proven otherwise. A header block holds at most kMaxHeaderBytes bytes, and
// each of its bytes is checked once, as its line completes, so a block fed one byte per call costs
// one pass.
// A body above the body limit, a Content-Length that is not plain digits or disagrees with an
// earlier one, and a transfer coding other than "chunked" are refused. CR LF records also refuse
// what would let two parsers read one message differently: a lone CR or LF, a line without ":", a
// name that is empty or holds a blank, more than kMaxHeaderLines lines; their one-letter names are
// ordinary names (only LF records expand SIP's compact forms). Refusals throw Exception.
//
// Header names match case-insensitively; headers print in the order their names first appeared.
class http_message {
public:
    static constexpr uint32_t kUnknownLength = 0xFFFFFFFF;
    static constexpr uint32_t kUnsetVersion = 0xFFFFFFFF;
    static constexpr size_t kMaxHeaderBytes = 65536;  // the whole block, its empty line included
    static constexpr size_t kMaxHeaderLines = 256;
    static constexpr uint32_t kMaxContentLength = 4294967294u;
    static constexpr size_t kMaxMultipartParts = 256;
    static constexpr uint32_t kDefaultBodyLimit = 2097152;
    // Storage a message keeps through reset() for the next one; a larger head or body gives it back.
    static constexpr size_t kKeptBufferBytes = 16384;
    // Storage to spare beyond a body that is to be sent, for take_serialized() to put the head in.
    static constexpr size_t kHeadRoomBytes = 4096;

    // What a message whose header gives no length carries as its body.
    enum class UnknownLength {
        kRestOfCall,  // the bytes that came with the header block (multipart parts)
        kNone,        // nothing: requests to a server, event-socket blocks
        kUntilClose,  // everything until the connection closes (finish_at_close): responses
    };

    explicit http_message(const std::string& line_end);
    virtual ~http_message() = default;
    http_message(const http_message&) = default;
    http_message& operator=(const http_message&) = default;

    // SIP's one-letter compact names expanded ("l" is "Content-Length"), then lower case.
    static std::string canonical_header(const std::string& name);

    // Takes bytes of this message and returns how many; once complete it takes no more. Throws on
    // malformed or oversized input, keeping what it had gathered. A peer that sends one byte at a
    // time costs a few instructions per byte here, not a search.
    uint32_t parse(const char* bytes, uint32_t length) {
        if (length == 1 && !header_done_ && *bytes != '\n' && header_buffer_.size() < kMaxHeaderBytes) {
            header_buffer_.push_back(*bytes);
            return 1;
        }
        return parse_bytes(bytes, length);
    }
    // The wire form, without the body when the message has none (a response to HEAD, a 1xx, 204 or
    // 304). Throws when the start line would carry bytes that could end or split it.
    std::string serialize() const;
    // The same, for a message sent once: the head goes in front of the body in the body's own
    // storage, which the wire form takes, so that once it has gone out nothing here holds a copy of
    // it. With kHeadRoomBytes to spare there, no second buffer of the body's size is made.
    std::string take_serialized();
    virtual void reset();
    // Bytes of storage the message holds: its head, as gathered and as read, and its body.
    size_t bytes_held() const;

    size_t header_count(const std::string& name) const;
    // Value `index` of the header; empty when absent.
    std::string header(const std::string& name, size_t index = 0) const;
    // Whether any value of the header, read as a comma-separated list, holds the token (any case).
    bool has_token(const std::string& name, const std::string& token) const;
    // Appends a value; "Content-Length" also sets the length. Throws for CR, LF or NUL in name or
    // value, and for a Content-Length that is not digits or disagrees with one already given.
    void add_header(const std::string& name, const std::string& value);
    void set_header_value(const std::string& name, size_t index, const std::string& value);
    void remove_header(const std::string& name);
    // The one value of the header, printed last.
    void replace_header(const std::string& name, const std::string& value);

    void set_body(std::string body);
    // Appends up to the known length (all when unknown); returns how many bytes were taken.
    uint32_t append_body(const char* bytes, uint32_t length);
    void set_protocol(const std::string& name, uint32_t major, uint32_t minor);
    void set_unknown_length(UnknownLength rule) { unknown_length_ = rule; }
    // The largest body accepted from a peer.
    void set_body_limit(uint32_t limit) { body_limit_ = limit; }

    bool is_complete() const;
    // The header block has ended (the body, if any, may still be coming).
    bool is_header_complete() const { return header_done_; }
    // A body read until the close has not yet seen it.
    bool awaits_close() const { return header_done_ && framing_ == Framing::kUntilClose && !is_closed_; }
    // The connection closed: a body read until the close is complete.
    void finish_at_close() { is_closed_ = true; }
    // Both "Transfer-Encoding" and "Content-Length" came: chunked won, and the connection that
    // carried them is not to be trusted with another message.
    bool has_length_conflict() const { return has_length_conflict_; }
    bool is_multipart() const;
    // One text attribute per header under its lower-case name (the last value when repeated).
    void headers_to_attributes(MessageAttributes& attributes) const;
    // Headers in name order ("Name: v1, v2" and LF each), then the body; for logs.
    std::string to_text() const;
    // The parts of a multipart/form-data body; empty when the message is not one.
    std::vector<http_message> parse_multipart() const;

    const std::string& start_line() const { return start_line_; }
    const std::string& body() const { return body_; }
    uint32_t content_length() const { return content_length_; }
    const std::string& protocol() const { return protocol_; }
    uint32_t version_major() const { return version_major_; }
    uint32_t version_minor() const { return version_minor_; }
    const std::string& line_end() const { return line_end_; }

protected:
    // The start line has been split off a complete header block: read it. Throws when malformed.
    virtual void read_start_line() {}
    // The line printed first.
    virtual std::string print_start_line() const { return start_line_; }
    // True when this message carries no body whatever its header says.
    virtual bool has_no_body() const { return false; }
    void set_version(uint32_t major, uint32_t minor);
    // The protocol name, with "/major.minor" once a version is set ("HTTP/1.1").
    std::string print_protocol() const;
    void set_protocol_name(const std::string& name) { protocol_ = name; }
    // Reads "major.minor" (leading blanks skipped, anything after the minor ignored) into the
    // version; false without two numbers that fit 32 bits.
    bool read_version(std::string_view text);

private:
    enum class Framing { kNone, kLength, kChunked, kUntilClose, kRestOfCall };

    // The lookup form of a header name, with a hash that lets a search pass most entries by one
    // comparison (a 64 KiB head holds a few hundred names).
    struct HeaderKey {
        bool operator==(const HeaderKey& other) const { return hash == other.hash && text == other.text; }
        std::string text;
        uint32_t hash;
    };
    struct HeaderEntry {
        HeaderKey key;
        std::string name;                 // as first written; printed
        std::vector<std::string> values;  // in the order added
    };

    uint32_t parse_bytes(const char* bytes, uint32_t length);
    bool is_crlf() const { return line_end_.size() == 2; }
    // The start line, the header lines and the empty line after them.
    std::string serialize_head() const;
    // Lower case and hash, for a name already expanded.
    static HeaderKey lower_key(std::string text);
    static const HeaderKey& content_length_key();
    HeaderKey key_of(std::string_view name) const;
    HeaderEntry* find(const HeaderKey& key);
    const HeaderEntry* find(const std::string& name) const;
    // Adds a value from a checked header block or a checked add_header call.
    void store_header(std::string_view name, std::string_view value);
    void check_content_length(std::string_view value);
    // Checks and reads the header lines completed since the last call; one past the empty line that
    // ends the block, or npos while it has not come.
    size_t read_header_lines();
    void take_line(std::string_view line);
    void read_header_line(std::string_view line);
    void choose_framing();
    uint32_t take_body(const char* bytes, uint32_t length);
    void append_checked(const char* bytes, size_t length);
    std::vector<const HeaderEntry*> entries_by_key() const;

    bool header_done_ = false;
    uint32_t content_length_ = kUnknownLength;
    std::vector<char> header_buffer_;  // the header block so far
    size_t scanned_ = 0;               // bytes of header_buffer_ checked
    size_t line_start_ = 0;            // where the line being gathered starts
    size_t line_count_ = 0;            // lines read, the start line included
    std::string start_line_;
    std::vector<HeaderEntry> headers_;  // in print order: when each name was first added
    std::string body_;
    std::string protocol_;
    uint32_t version_major_ = kUnsetVersion;
    uint32_t version_minor_ = kUnsetVersion;
    std::string line_end_;
    UnknownLength unknown_length_ = UnknownLength::kRestOfCall;
    uint32_t body_limit_ = kDefaultBodyLimit;
    Framing framing_ = Framing::kNone;
    http_chunked_decoder chunked_;
    bool is_closed_ = false;
    bool has_length_conflict_ = false;
};
