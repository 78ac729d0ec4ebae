#include <gtest/gtest.h>

#include <string>

#include "ipc/http/http_request.h"
#include "ipc/http/url_parts.h"
#include "tests/support/exception_text.h"

namespace {

using test_support::error_of;

struct UrlCase {
    const char* text;
    const char* parts;    // UrlParts::dump()
    const char* printed;  // UrlParts::to_string()
};

// Edge cases of the URL record; hosts from RFC 5737 and RFC 4291 documentation ranges.
const UrlCase kUrls[] = {
    {"x://192.0.2.10:8080/a/b;v=1?x=1#top",
     "scheme=x host=192.0.2.10 port=8080 path=/a/b query=x=1 fragment=top params=v=1",
     "x://192.0.2.10:8080/a/b?x=1#top;v=1"},
    {"x://[fe80::1]:8080/p", "scheme=x host=fe80::1 port=8080 path=/p", "x://[fe80::1]:8080/p"},
    {"x://[2001:db8::1]/p", "scheme=x host=2001:db8::1 path=/p", "x://[2001:db8::1]/p"},
    {"x://[fe80::1]z:80/p", "scheme=x host=fe80::1 path=/p", "x://[fe80::1]/p"},
    {"sip:op1@192.0.2.10;transport=tcp", "scheme=sip user=op1 host=192.0.2.10 params=transport=tcp",
     "sip:op1@192.0.2.10;transport=tcp"},
    {"x://u:@h/", "scheme=x user=u: host=h path=/", "x://u%3a@h/"},
    {"x://u:pw@h:abc/", "scheme=x user=u pass=pw host=h port=0 path=/", "x://u:pw@h:0/"},
    {"x:///a+b%20c", "scheme=x path=/a+b c", "x:///a+b%20c"},
    {"x://h/p?a#f?b", "scheme=x host=h path=/p query=b fragment=f", "x://h/p?b#f"},
    {"x://h/p?a=%0D%0A%23 b", "scheme=x host=h path=/p query=a=\r\n# b", "x://h/p?a=%0d%0a%23%20b"},
    {"no colon", "scheme=", "://"},
};

TEST(UrlParts, ReadsAndPrintsEachShape) {
    for (const UrlCase& c : kUrls) {
        const UrlParts url(c.text);
        EXPECT_EQ(url.dump(), c.parts) << c.text;
        EXPECT_EQ(url.to_string(), c.printed) << c.text;
    }
}

TEST(UrlParts, RefusesToPrintAHostThatWouldEscapeIt) {
    for (const char* host : {"a/b", "a b", "a@b", "a#b", "a\r\nb"}) {
        UrlParts url;
        url.set_host(host, false);
        EXPECT_EQ(error_of([&] { url.host_port_string(); }).compare(0, 17, "host_port_string:"), 0) << host;
    }
}

TEST(UrlParts, RequestTakesTargetAndBracketedHostButNotTheFragment) {
    http_request request("\r\n");
    request.set_url(UrlParts("x://[::1]:8080/a b?q=1#frag"));
    EXPECT_EQ(request.uri(), "/a%20b?q=1");
    EXPECT_EQ(request.header("host"), "[::1]:8080");
    EXPECT_EQ(error_of([&] { request.set_url(UrlParts("x://h:65536/")); }), "set_url: Port 65536 out of range");
}

TEST(UrlParts, RequestUrlCutsThePathAtANul) {
    http_request request("\r\n");
    const std::string wire = "GET /a%00b?x=1 HTTP/1.1\r\nHost: [fe80::1]:81\r\n\r\n";
    request.parse(wire.data(), static_cast<uint32_t>(wire.size()));
    EXPECT_EQ(request.to_url("http").dump(), "scheme=http host=fe80::1 port=81 path=/a query=x=1");
}

}  // namespace
