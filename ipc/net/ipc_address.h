#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

// One numeric IPv4 or IPv6 socket address together with the length the socket calls take. Host
// texts are converted with inet_pton and printed with inet_ntop; there is no name resolution, so a
// DNS name gives an address that is not valid.
//
// Invariants: the 28-byte area holds a sockaddr_in (length 16) or a sockaddr_in6 (length 28), or
// nothing (family 0, length 0). Bytes the family does not use are always zero, so operator== and
// operator< (both over the first `length` bytes) never see stale bytes. Ports are host order in the
// interface, network order in the stored bytes.
//
// `valid` says that a host text was converted (or the address came from the kernel); a failed read
// leaves it as it was, only construction and clear() reset it. The transport refuses an address that
// is not valid. A plain value: copy freely, no thread keeps a reference.
class IPCAddress {
public:
    // No host: all bytes zero apart from the family; length 16, 28 or 0; not valid.
    explicit IPCAddress(int family = 0);
    // The whole host text in that family (0 chooses it from the text, see family_of). A bracketed
    // "[host]" is read as its contents. With AF_INET or AF_INET6 the port is stored even when the
    // host does not convert; any other family is stored as is, with length 0 and nothing converted.
    IPCAddress(const std::string& host, uint16_t port, int family);
    // An address the kernel filled in (accept, recvfrom). At most 28 bytes are taken, and no more than
    // the family's structure needs; the length is what was taken. Valid unless `raw` is null or too
    // short to hold a family.
    IPCAddress(const sockaddr* raw, socklen_t raw_length);
    // "host", "host:port", "[host]" or "[host]:port", read as parse() does with no family yet.
    IPCAddress(const std::string& text, int family);

    void clear();
    // All bytes zero, then the family and its length; not valid until a host is set.
    void set_family(int family);
    // The whole text as a host of the present family; the port stays. False for other families or a
    // text that is not an address, and then nothing changes.
    bool set_host(const std::string& host);
    bool set_port(uint16_t port);  // false for families other than AF_INET/AF_INET6
    uint16_t port() const;         // host order; 0 for other families

    // "host" or "host:port" in the present family (the last ':' separates the port).
    bool parse_host_port(const std::string& text);
    // "host", "[host]" or "[host]:port" in the present family; after ']' anything up to the first
    // ':' is skipped.
    bool parse_host(const std::string& text);
    // Family AF_INET/AF_INET6 zeroes the address and sets it; 0 keeps a family already present, or
    // else chooses one from the text. AF_INET reads with parse_host_port, AF_INET6 with parse_host,
    // so a bare IPv6 text never carries a port.
    //
    // Port texts are read as unsigned decimal numbers: no digits read as port 0 ("1.2.3.4:" and
    // "1.2.3.4:abc" are valid with port 0), trailing characters after the digits are ignored, and a
    // number above 65535 (also "-1", which reads as 2^32 - 1) fails the whole read rather than being
    // cut to 16 bits.
    bool parse(const std::string& text, int family);
    // AF_INET6 for a text starting with '[' or holding two ':' or more (the last one not first);
    // AF_INET otherwise, also for "host:port".
    static int family_of(const std::string& text);

    // inet_ntop text; "(unknown)" for other families; empty when the conversion fails.
    std::string host_string() const;
    // "1.2.3.4", "1.2.3.4:80", "::1", "[::1]:80" (the port only when not 0); "(unknown)" for other
    // families.
    std::string to_string() const;

    // Over the first `length` bytes only; `valid` and the name play no part.
    bool operator==(const IPCAddress& other) const;
    bool operator!=(const IPCAddress& other) const;
    // Shorter length first (every IPv4 before every IPv6), then unsigned byte order. Keys the
    // listening servers' peer table.
    bool operator<(const IPCAddress& other) const;

    // Netmask operations. `bits` beyond the family's width (32 or 128) act as the full width; 0 and
    // below mean no bits. Other families: prefix_length 0, apply_netmask does nothing.
    int prefix_length() const;     // leading one bits of the address read as a netmask
    void apply_netmask(int bits);  // clears every address bit after the first `bits`; 0 changes nothing
    // False when the families differ or are neither AF_INET nor AF_INET6.
    bool same_subnet(const IPCAddress& other, int bits) const;

    // IPv4 10/8, 172.16/12, 192.168/16, 127/8, 169.254/16; IPv6 fe80::/10, fc00::/7.
    bool is_private() const;
    bool is_link_local() const;  // 169.254/16, fe80::/10
    bool is_loopback() const;    // 127/8; an IPv6 address never counts by this test

    bool is_valid() const { return valid_; }
    int family() const { return storage_.generic.sa_family; }
    socklen_t length() const { return length_; }
    const sockaddr* sockaddr_ptr() const { return &storage_.generic; }

    // A label the owner may attach; copied with the address, never compared or filled by the library.
    const std::string& name() const { return name_; }
    void set_name(const std::string& name) { name_ = name; }

private:
    union Storage {
        sockaddr generic;
        sockaddr_in v4;
        sockaddr_in6 v6;
        unsigned char bytes[28];
    };

    bool has_ip_family() const;
    // The address bytes proper: 4 at sin_addr or 16 at sin6_addr; null and 0 for other families.
    unsigned char* address_bytes();
    const unsigned char* address_bytes() const;
    int address_bits() const;
    // Zeroes everything, then stores the family and its length (0 for other families).
    void reset(int family);
    // Converts `host` in the present family without touching the address on failure.
    bool convert_host(const std::string& host);
    void store_port(uint16_t port);

    Storage storage_;
    socklen_t length_ = 0;
    bool valid_ = false;
    std::string name_;
};
