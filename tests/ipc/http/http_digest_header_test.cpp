#include <gtest/gtest.h>

#include "ipc/http/http_digest_header.h"

namespace {

struct DigestCase {
    const char* header;
    bool is_digest;  // parsed, and of the scheme "Digest"
    const char* name;
    const char* value;
};
// Quoted strings keep commas and undo escapes (RFC 7230 section 3.2.6); a later pair wins.
const DigestCase kDigest[] = {
    {"Digest username=\"a,b\", realm=x", true, "username", "a,b"},
    {"dIgEsT username=\"a\\\"b\"", true, "username", "a\"b"},
    {"Digest USERNAME=x, username=y", true, "username", "y"},
    {"Digest nc=00000001 ,, bare, qop=auth", true, "qop", "auth"},
    {"DigestX qop=auth", false, "qop", "auth"},
    {"Digest username=\"open", false, "username", ""},
    {"Digest username=\"a\" junk, realm=x", false, "realm", ""},
    {"Digest", false, "username", ""},
};

TEST(HttpDigestHeader, ReadsPairsOfAPeersHeader) {
    for (const DigestCase& c : kDigest) {
        http_digest_header header;
        EXPECT_EQ(header.parse(c.header) && header.has_scheme("Digest"), c.is_digest) << c.header;
        EXPECT_EQ(header.parameter(c.name), c.value) << c.header;
    }
}

TEST(HttpDigestHeader, ReadsTheNonceCountInHex) {
    http_digest_header header;
    EXPECT_TRUE(header.parse("Digest nc=0000001F") && header.nonce_count() == 31u);
    EXPECT_TRUE(header.parse("Digest nc=zz") && header.nonce_count() == 0u);
}

TEST(HttpDigestHeader, ExpectsTheRfc2617Response) {
    // RFC 2617 section 3.5.
    http_digest_header header;
    ASSERT_TRUE(header.parse(
        "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
        "uri=\"/dir/index.html\", qop=auth, nc=00000001, cnonce=\"0a4f113b\", "
        "response=\"6629fae49393a05397450978507c4ef1\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""));
    EXPECT_EQ(header.expected_response("GET", "Circle Of Life"), header.parameter("response"));
}

}  // namespace
