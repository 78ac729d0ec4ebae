#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/un.h>

#include <cstring>
#include <memory>
#include <string>

#include "ipc/net/ipc_address.h"

namespace {

// Texts as the device sessions hand them over (family 0), plus the port range and bracket forms.
TEST(IpcAddress, TextConstructor) {
    // clang-format off
    const struct { const char* text; int family_in; bool valid; int family; uint16_t port; const char* host; }
    kCases[] = {
        {"192.168.1.20:5004", 0, true, AF_INET, 5004, "192.168.1.20"},
        {"[fe80::1]:5004", 0, true, AF_INET6, 5004, "fe80::1"},
        {"fe80::1", 0, true, AF_INET6, 0, "fe80::1"},
        {"[fe80::1]", 0, true, AF_INET6, 0, "fe80::1"},
        {"[fe80::1", 0, false, AF_INET6, 0, "::"},
        {"codec-a:5004", 0, false, AF_INET, 0, "0.0.0.0"},  // no name resolution
        {"1.2.3.4:", 0, true, AF_INET, 0, "1.2.3.4"},
        {"1.2.3.4:abc", 0, true, AF_INET, 0, "1.2.3.4"},
        {"1.2.3.4:65535", 0, true, AF_INET, 65535, "1.2.3.4"},
        {"1.2.3.4:70000", 0, false, AF_INET, 0, "0.0.0.0"},  // refused, not wrapped to 4464
        {"1.2.3.4:-1", 0, false, AF_INET, 0, "0.0.0.0"},
        {"[::1]x:80", 0, true, AF_INET6, 80, "::1"},
        {"[::1]:70000", 0, false, AF_INET6, 0, "::"},
        {"1.2.3.4", AF_INET6, false, AF_INET6, 0, "::"},
        {"::1", AF_INET, false, AF_INET, 0, "0.0.0.0"},
        {"1.2.3.4:80", 99, false, 0, 0, "(unknown)"},
    };
    // clang-format on
    for (const auto& c : kCases) {
        const IPCAddress address(c.text, c.family_in);
        EXPECT_EQ(address.is_valid(), c.valid) << c.text;
        EXPECT_EQ(address.family(), c.family) << c.text;
        EXPECT_EQ(address.port(), c.port) << c.text;
        EXPECT_EQ(address.host_string(), c.host) << c.text;
    }
}

TEST(IpcAddress, FamilyOf) {
    // clang-format off
    const struct { const char* text; int family; } kCases[] = {
        {"[x", AF_INET6}, {"::1", AF_INET6}, {"::", AF_INET6}, {"a:b:c", AF_INET6},
        {"1.2.3.4:80", AF_INET}, {":1", AF_INET}, {"", AF_INET}, {"host", AF_INET},
    };
    // clang-format on
    for (const auto& c : kCases) EXPECT_EQ(IPCAddress::family_of(c.text), c.family) << c.text;
}

TEST(IpcAddress, HostAndPortConstructor) {
    EXPECT_TRUE(IPCAddress("[::1]", 80, 0).is_valid());
    EXPECT_TRUE(IPCAddress("[::1]", 80, AF_INET6).is_valid());
    EXPECT_EQ(IPCAddress("::1", 80, 0).to_string(), "[::1]:80");

    const IPCAddress unresolved("codec-a", 80, AF_INET);  // the port is stored all the same
    EXPECT_FALSE(unresolved.is_valid());
    EXPECT_EQ(unresolved.port(), 80);

    const IPCAddress other("1.2.3.4", 80, 99);
    EXPECT_EQ(other.family(), 99);
    EXPECT_EQ(other.length(), 0u);
    EXPECT_EQ(other.port(), 0);
}

TEST(IpcAddress, ToString) {
    // clang-format off
    const struct { const char* host; uint16_t port; const char* text; } kCases[] = {
        {"10.0.0.1", 0, "10.0.0.1"}, {"10.0.0.1", 80, "10.0.0.1:80"},
        {"::1", 0, "::1"}, {"::1", 80, "[::1]:80"},
    };
    // clang-format on
    for (const auto& c : kCases) EXPECT_EQ(IPCAddress(c.host, c.port, 0).to_string(), c.text) << c.text;
    EXPECT_EQ(IPCAddress().to_string(), "(unknown)");
}

TEST(IpcAddress, FailedReadsChangeNothing) {
    IPCAddress address("1.2.3.4:80", 0);
    EXPECT_FALSE(address.parse_host_port("1.2.3.5:70000"));
    EXPECT_FALSE(address.parse_host_port("codec-a:81"));
    EXPECT_FALSE(address.set_host(std::string("1.2.3.5\0x", 9)));  // inet_pton would stop at the NUL
    EXPECT_TRUE(address.is_valid());
    EXPECT_EQ(address.to_string(), "1.2.3.4:80");

    EXPECT_TRUE(address.set_host("5.6.7.8"));  // keeps the port
    EXPECT_EQ(address.to_string(), "5.6.7.8:80");

    IPCAddress none;
    EXPECT_FALSE(none.set_port(80));
    EXPECT_FALSE(none.set_host("1.2.3.4"));
}

// Zeroed address bytes are never left marked valid: connecting to them would reach 0.0.0.0.
TEST(IpcAddress, ZeroingClearsValid) {
    IPCAddress address("1.2.3.4:80", 0);
    EXPECT_FALSE(address.parse("codec-a:81", AF_INET));
    EXPECT_FALSE(address.is_valid());

    IPCAddress other("1.2.3.4:80", 0);
    other.set_family(AF_INET6);
    EXPECT_FALSE(other.is_valid());
}

// Family 0 keeps a family already present, so a bare IPv4 text does not switch an IPv6 address.
TEST(IpcAddress, ParseKeepsPresentFamily) {
    IPCAddress address(AF_INET6);
    EXPECT_FALSE(address.parse("1.2.3.4:80", 0));
    EXPECT_TRUE(address.parse("[::1]:80", 0));
    EXPECT_EQ(address.to_string(), "[::1]:80");
}

TEST(IpcAddress, ComparisonIgnoresValidAndName) {
    IPCAddress parsed("0.0.0.0:80", 0);
    parsed.set_name("codec A");
    EXPECT_EQ(parsed, IPCAddress("codec-a", 80, AF_INET));  // valid against not valid
    EXPECT_NE(IPCAddress("1.2.3.4:80", 0), IPCAddress("1.2.3.4:81", 0));

    const IPCAddress v4("255.255.255.255:65535", 0);
    const IPCAddress v6("::", 0);
    EXPECT_TRUE(v4 < v6 && !(v6 < v4));
}

// Unused bytes stay zero, so a family change or a kernel buffer with junk never breaks equality.
TEST(IpcAddress, UnusedBytesAreZero) {
    sockaddr_in6 scoped{};
    scoped.sin6_family = AF_INET6;
    scoped.sin6_scope_id = 7;
    IPCAddress address(reinterpret_cast<const sockaddr*>(&scoped), sizeof(scoped));
    ASSERT_TRUE(address.parse("1.2.3.4:80", AF_INET));
    const auto* bytes = reinterpret_cast<const unsigned char*>(address.sockaddr_ptr());
    for (int i = 8; i < 28; ++i) EXPECT_EQ(bytes[i], 0) << i;

    sockaddr_in raw;
    std::memset(&raw, 0xAB, sizeof(raw));
    raw.sin_family = AF_INET;
    raw.sin_port = htons(80);
    raw.sin_addr.s_addr = htonl(0x01020304);
    const IPCAddress accepted(reinterpret_cast<const sockaddr*>(&raw), sizeof(sockaddr_storage));
    EXPECT_TRUE(accepted.is_valid());
    EXPECT_EQ(accepted.length(), sizeof(sockaddr_in));
    EXPECT_EQ(accepted, IPCAddress("1.2.3.4:80", 0));
}

// A length beyond the family's structure never reads past it (ASan watches the exact-size blocks).
TEST(IpcAddress, RawLengthsAreClamped) {
    auto v6 = std::make_unique<sockaddr_in6>();
    v6->sin6_family = AF_INET6;
    EXPECT_EQ(IPCAddress(reinterpret_cast<const sockaddr*>(v6.get()), 1000).length(), sizeof(sockaddr_in6));

    auto v4 = std::make_unique<sockaddr_in>();
    v4->sin_family = AF_INET;
    EXPECT_EQ(IPCAddress(reinterpret_cast<const sockaddr*>(v4.get()), 28).length(), sizeof(sockaddr_in));

    auto local = std::make_unique<sockaddr_un>();
    local->sun_family = AF_UNIX;
    EXPECT_EQ(IPCAddress(reinterpret_cast<const sockaddr*>(local.get()), sizeof(sockaddr_un)).length(), 28u);

    EXPECT_FALSE(IPCAddress(static_cast<const sockaddr*>(nullptr), 16).is_valid());
    EXPECT_FALSE(IPCAddress(reinterpret_cast<const sockaddr*>(v6.get()), 1).is_valid());
}

TEST(IpcAddress, PrefixLength) {
    // clang-format off
    const struct { const char* mask; int bits; } kCases[] = {
        {"255.255.255.0", 24}, {"0.0.0.0", 0}, {"255.255.255.255", 32}, {"255.0.255.0", 8},
        {"ffff:ffff:ffff:ff00::", 56}, {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 128},
    };
    // clang-format on
    for (const auto& c : kCases) EXPECT_EQ(IPCAddress(c.mask, 0).prefix_length(), c.bits) << c.mask;
    EXPECT_EQ(IPCAddress().prefix_length(), 0);
}

// Widths beyond the family's act as the full width.
TEST(IpcAddress, ApplyNetmask) {
    // clang-format off
    const struct { const char* in; int bits; const char* out; } kCases[] = {
        {"192.168.7.9", 24, "192.168.7.0"}, {"192.168.7.9", 0, "192.168.7.9"}, {"10.7.7.9", 1, "0.0.0.0"},
        {"192.168.7.9", 40, "192.168.7.9"}, {"fe80::1", 12, "fe80::"}, {"fe80::1", 200, "fe80::1"},
        {"[fe80::1]:80", 12, "[fe80::]:80"},
    };
    // clang-format on
    for (const auto& c : kCases) {
        IPCAddress address(c.in, 0);
        address.apply_netmask(c.bits);
        EXPECT_EQ(address.to_string(), c.out) << c.in << " /" << c.bits;
    }
}

TEST(IpcAddress, SameSubnet) {
    // clang-format off
    const struct { const char* a; const char* b; int bits; bool same; } kCases[] = {
        {"192.168.1.1", "192.168.200.7", 16, true}, {"192.168.1.1", "192.168.200.7", 17, false},
        {"1.2.3.4", "9.8.7.6", 0, true}, {"1.2.3.4", "1.2.3.5", 40, false}, {"1.2.3.4", "1.2.3.4", 40, true},
        {"fe80::1", "fe80::2", 200, false}, {"fe80::1", "fe80::2", 126, true},
        {"1.2.3.4", "::", 0, false}, {"1.2.3.4", "::102:304", 16, false},
    };
    // clang-format on
    for (const auto& c : kCases) {
        EXPECT_EQ(IPCAddress(c.a, 0).same_subnet(IPCAddress(c.b, 0), c.bits), c.same)
            << c.a << " " << c.b << " /" << c.bits;
    }

    // Only the address bits count, never the scope id that follows them.
    sockaddr_in6 raw{};
    raw.sin6_family = AF_INET6;
    raw.sin6_scope_id = 1;
    const IPCAddress first(reinterpret_cast<const sockaddr*>(&raw), sizeof(raw));
    raw.sin6_scope_id = 2;
    EXPECT_TRUE(first.same_subnet(IPCAddress(reinterpret_cast<const sockaddr*>(&raw), sizeof(raw)), 200));
}

// RFC 1918, RFC 3927, RFC 4193 and RFC 4291 §2.5.6 boundaries.
TEST(IpcAddress, AddressClasses) {
    // clang-format off
    const struct { const char* text; bool is_private; bool link_local; bool loopback; } kCases[] = {
        {"172.31.255.255", true, false, false}, {"172.32.0.1", false, false, false},
        {"172.15.255.255", false, false, false}, {"10.255.0.1", true, false, false},
        {"192.168.0.1", true, false, false}, {"192.169.0.1", false, false, false},
        {"127.0.0.1", true, false, true}, {"169.254.9.9", true, true, false},
        {"8.8.8.8", false, false, false}, {"::1", false, false, false}, {"0:0:0:1::", false, false, false},
        {"fe80::1", true, true, false}, {"febf::1", true, true, false}, {"fec0::1", false, false, false},
        {"fc00::1", true, false, false}, {"fdff::1", true, false, false}, {"fe00::1", false, false, false},
    };
    // clang-format on
    for (const auto& c : kCases) {
        const IPCAddress address(c.text, 0);
        EXPECT_EQ(address.is_private(), c.is_private) << c.text;
        EXPECT_EQ(address.is_link_local(), c.link_local) << c.text;
        EXPECT_EQ(address.is_loopback(), c.loopback) << c.text;
    }
}

}  // namespace
