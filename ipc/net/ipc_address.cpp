#include "ipc/net/ipc_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "ipc/base/ipc_string.h"

static_assert(sizeof(sockaddr_in) == 16, "IPv4 socket address is 16 bytes");
static_assert(sizeof(sockaddr_in6) == 28, "IPv6 socket address is 28 bytes");

namespace {

const char kUnknown[] = "(unknown)";

socklen_t length_of(int family) {
    if (family == AF_INET) return sizeof(sockaddr_in);
    if (family == AF_INET6) return sizeof(sockaddr_in6);
    return 0;
}

// Reads the port text after a ':'. Nothing readable is port 0; a number that does not fit 16 bits
// is refused instead of wrapping onto some other port.
bool read_port(const std::string& text, uint16_t& port) {
    const uint32_t value = ipc_string_to_uint(text);
    if (value > 0xFFFF) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool is_bracketed(const std::string& text) {
    return text.size() >= 2 && text.front() == '[' && text.back() == ']';
}

// True when the first `bits` bits of a and b agree; `bits` is within the width of both.
bool leading_bits_equal(const unsigned char* a, const unsigned char* b, int bits) {
    const int whole = bits / 8;
    if (std::memcmp(a, b, whole) != 0) return false;
    const int rest = bits % 8;
    if (rest == 0) return true;
    const unsigned mask = (0xFFu << (8 - rest)) & 0xFFu;
    return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

IPCAddress::IPCAddress(int family) {
    reset(family);
}

IPCAddress::IPCAddress(const std::string& host, uint16_t port, int family) {
    if (family == 0) family = family_of(host);
    reset(family);
    if (!has_ip_family()) return;
    valid_ = convert_host(is_bracketed(host) ? host.substr(1, host.size() - 2) : host);
    store_port(port);
}

IPCAddress::IPCAddress(const sockaddr* raw, socklen_t raw_length) {
    reset(0);
    // Too short to say its family: not an address at all.
    if (raw == nullptr || raw_length < sizeof(sa_family_t)) return;
    socklen_t taken = std::min<socklen_t>(raw_length, sizeof(Storage));
    sa_family_t raw_family;  // copied out: the caller's buffer need not be aligned
    std::memcpy(&raw_family, reinterpret_cast<const unsigned char*>(raw) + offsetof(sockaddr, sa_family),
                sizeof(raw_family));
    const socklen_t needed = length_of(raw_family);
    if (needed != 0) taken = std::min(taken, needed);
    std::memcpy(storage_.bytes, raw, taken);
    // The kernel zeroes sin_zero, but a caller's buffer need not; equality relies on it.
    if (family() == AF_INET && taken > offsetof(sockaddr_in, sin_zero))
        std::memset(storage_.v4.sin_zero, 0, sizeof(storage_.v4.sin_zero));
    length_ = taken;
    valid_ = true;
}

IPCAddress::IPCAddress(const std::string& text, int family) {
    reset(0);
    parse(text, family);
}

void IPCAddress::clear() {
    reset(0);
}

void IPCAddress::set_family(int family) {
    reset(family);
}

bool IPCAddress::set_host(const std::string& host) {
    if (!convert_host(host)) return false;
    valid_ = true;
    return true;
}

bool IPCAddress::set_port(uint16_t port) {
    if (!has_ip_family()) return false;
    store_port(port);
    return true;
}

uint16_t IPCAddress::port() const {
    if (family() == AF_INET) return ntohs(storage_.v4.sin_port);
    if (family() == AF_INET6) return ntohs(storage_.v6.sin6_port);
    return 0;
}

bool IPCAddress::parse_host_port(const std::string& text) {
    const size_t colon = text.rfind(':');
    uint16_t port = 0;
    if (colon != std::string::npos && !read_port(text.substr(colon + 1), port)) return false;
    if (!convert_host(text.substr(0, colon))) return false;
    store_port(port);
    valid_ = true;
    return true;
}

bool IPCAddress::parse_host(const std::string& text) {
    std::string host = text;
    uint16_t port = 0;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.rfind(']');
        if (close == std::string::npos) return false;
        host = text.substr(1, close - 1);
        const size_t colon = text.find(':', close + 1);
        if (colon != std::string::npos && !read_port(text.substr(colon + 1), port)) return false;
    }
    if (!convert_host(host)) return false;
    store_port(port);
    valid_ = true;
    return true;
}

bool IPCAddress::parse(const std::string& text, int family) {
    if (family == AF_INET || family == AF_INET6) {
        reset(family);
    } else if (family != 0) {
        reset(0);
        return false;
    } else if (this->family() == 0) {
        reset(family_of(text));
    }
    if (this->family() == AF_INET) return parse_host_port(text);
    if (this->family() == AF_INET6) return parse_host(text);
    return false;
}

int IPCAddress::family_of(const std::string& text) {
    if (!text.empty() && text.front() == '[') return AF_INET6;
    const size_t last = text.rfind(':');
    if (last != std::string::npos && last != 0 && text.rfind(':', last - 1) != std::string::npos) return AF_INET6;
    return AF_INET;
}

std::string IPCAddress::host_string() const {
    if (!has_ip_family()) return kUnknown;
    char text[128];
    if (inet_ntop(family(), address_bytes(), text, sizeof(text)) == nullptr) return std::string();
    return text;
}

std::string IPCAddress::to_string() const {
    if (!has_ip_family()) return kUnknown;
    const uint16_t number = port();
    if (number == 0) return host_string();
    const std::string port_text = ipc_uint_to_string(number);
    if (family() == AF_INET) return host_string() + ":" + port_text;
    return "[" + host_string() + "]:" + port_text;
}

bool IPCAddress::operator==(const IPCAddress& other) const {
    return length_ == other.length_ && std::memcmp(storage_.bytes, other.storage_.bytes, length_) == 0;
}

bool IPCAddress::operator!=(const IPCAddress& other) const {
    return !(*this == other);
}

bool IPCAddress::operator<(const IPCAddress& other) const {
    if (length_ != other.length_) return length_ < other.length_;
    return std::memcmp(storage_.bytes, other.storage_.bytes, length_) < 0;
}

int IPCAddress::prefix_length() const {
    const unsigned char* bytes = address_bytes();
    const int width = address_bits();
    int ones = 0;
    while (ones < width && (bytes[ones / 8] & (0x80u >> (ones % 8))) != 0) ++ones;
    return ones;
}

void IPCAddress::apply_netmask(int bits) {
    const int width = address_bits();
    if (width == 0 || bits <= 0) return;
    bits = std::min(bits, width);
    unsigned char* bytes = address_bytes();
    const int whole = bits / 8;
    const int rest = bits % 8;
    int first_cleared = whole;
    if (rest != 0) {
        bytes[whole] &= static_cast<unsigned char>(0xFFu << (8 - rest));
        first_cleared = whole + 1;
    }
    std::memset(bytes + first_cleared, 0, static_cast<size_t>(width / 8 - first_cleared));
}

bool IPCAddress::same_subnet(const IPCAddress& other, int bits) const {
    if (family() != other.family() || !has_ip_family()) return false;
    bits = std::clamp(bits, 0, address_bits());
    return leading_bits_equal(address_bytes(), other.address_bytes(), bits);
}

bool IPCAddress::is_private() const {
    const unsigned char* a = address_bytes();
    if (family() == AF_INET) {
        return a[0] == 10 || (a[0] == 172 && (a[1] & 0xF0) == 16) || (a[0] == 192 && a[1] == 168) || a[0] == 127 ||
               (a[0] == 169 && a[1] == 254);
    }
    if (family() == AF_INET6) return is_link_local() || (a[0] & 0xFE) == 0xFC;
    return false;
}

bool IPCAddress::is_link_local() const {
    const unsigned char* a = address_bytes();
    if (family() == AF_INET) return a[0] == 169 && a[1] == 254;
    if (family() == AF_INET6) return a[0] == 0xFE && (a[1] & 0xC0) == 0x80;
    return false;
}

bool IPCAddress::is_loopback() const {
    return family() == AF_INET && address_bytes()[0] == 127;
}

bool IPCAddress::has_ip_family() const {
    return family() == AF_INET || family() == AF_INET6;
}

unsigned char* IPCAddress::address_bytes() {
    return const_cast<unsigned char*>(static_cast<const IPCAddress*>(this)->address_bytes());
}

const unsigned char* IPCAddress::address_bytes() const {
    if (family() == AF_INET) return reinterpret_cast<const unsigned char*>(&storage_.v4.sin_addr);
    if (family() == AF_INET6) return storage_.v6.sin6_addr.s6_addr;
    return nullptr;
}

int IPCAddress::address_bits() const {
    if (family() == AF_INET) return 32;
    if (family() == AF_INET6) return 128;
    return 0;
}

void IPCAddress::reset(int family) {
    // Zeroed bytes are no address: a valid flag kept over them would connect to 0.0.0.0.
    valid_ = false;
    std::memset(&storage_, 0, sizeof(storage_));
    storage_.generic.sa_family = static_cast<sa_family_t>(family);
    length_ = length_of(family);
}

bool IPCAddress::convert_host(const std::string& host) {
    // inet_pton would stop at an embedded NUL and accept the text before it.
    if (!has_ip_family() || host.find('\0') != std::string::npos) return false;
    unsigned char converted[sizeof(in6_addr)];
    if (inet_pton(family(), host.c_str(), converted) != 1) return false;
    std::memcpy(address_bytes(), converted, address_bits() / 8);
    return true;
}

void IPCAddress::store_port(uint16_t port) {
    // sin_port and sin6_port share offset 2.
    if (family() == AF_INET)
        storage_.v4.sin_port = htons(port);
    else if (family() == AF_INET6)
        storage_.v6.sin6_port = htons(port);
}
