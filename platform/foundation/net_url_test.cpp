#include <gtest/gtest.h>

#include <unordered_set>

#include "foundation/URL.h"
#include "foundation/URLRequest.h"

namespace foundation {
namespace {

TEST(URLTest, ValidityFollowsTheParser) {
    for (const char* bad :
         {"", "example.com/a", "/just/a/path", "http://", "http://exa mple.com/", "http://host:99999/",
          "https://host/a b", "http://host/\x01", "http://h\xc3\xa9.com/", "http://host/<tag>", "ht tp://x/"}) {
        EXPECT_FALSE(URL::fromString(bad)) << bad;
    }
    EXPECT_FALSE(URL::fromString(std::string_view("http://a.com/\0evil", 18)));  // an embedded NUL is not cut off
    for (const char* good : {"https://example.com", "HTTP://Example.com:8080/a?b=c#d", "https://[::1]:8443/a",
                             "skd://a1b2-c3", "file:///tmp/a%20b.plist", "http://user:pw@host/p"}) {
        EXPECT_TRUE(URL::fromString(good)) << good;
    }
}

TEST(URLTest, AuthorityHostsAndPortsAreChecked) {
    for (const char* bad : {"http:/host/a",
                            "http:///a",
                            "1http://h/",
                            "mailto:a@b",
                            "skd://",
                            "http://[::1",
                            "http://[g::1]/",
                            "http://[1:2:3:4:5:6:7:8:9]/",
                            "http://[1::2::3]/",
                            "http://[:1]/",
                            "http://[::1]x/",
                            "http://h,a/",
                            "http://u@v@h/",
                            "http://h%20a/",
                            "http://h%4/",
                            "http://h:8a/",
                            "http://h:-1/",
                            "http://h:65536/",
                            "file://host/tmp/a",
                            "file://u@/tmp/a",
                            "file://:1/tmp",
                            "file://?x"}) {
        EXPECT_FALSE(URL::fromString(bad)) << bad;
    }
    for (const char* good : {"http://[1:2:3:4:5:6:7:8]/", "http://[::ffff:1.2.3.4]/", "http://[fe80::1%25eth0]:80/",
                             "http://ho%41st/", "http://h%C3%A9.example/", "http://h:/", "http://h:0080",
                             "file://localhost/tmp/a", "file:///", "http://@h/", "http://h/[x]?a=b?c#d#e"}) {
        EXPECT_TRUE(URL::fromString(good)) << good;
    }
    const auto full = URL::fromString("http://:p%40ss@[fe80::1%25eth0]:0080/a%2Fb?q=1?#f#g");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->user(), "");
    EXPECT_EQ(full->password(), "p@ss");
    EXPECT_EQ(full->host(), "fe80::1%25eth0");
    EXPECT_EQ(full->port(), 80);
    EXPECT_EQ(full->path(), "/a/b");
    EXPECT_EQ(full->query(), "q=1?");
    EXPECT_EQ(full->fragment(), "f#g");
    EXPECT_FALSE(URL::fromString("http://h:/")->port());
    EXPECT_FALSE(URL::fromString("file:///tmp/a")->host());
    EXPECT_EQ(URL::fromString("HtTp://h")->scheme(), "http");
}

TEST(URLTest, IPv6LiteralsTakeEveryHexDigitInEitherCaseWithAZoneAndAPort) {
    // Each hex letter on its own, in each case, in a group of its own, as a whole group of four, beside a zone
    // and a port: a reader that refused any one of them would refuse a host here.
    for (const char letter : std::string_view("abcdefABCDEF")) {
        const std::string one(1, letter);
        const std::string four(4, letter);
        for (const std::string& host : {one + "::1", "1::" + one, four + ":1:2:3:4:5:6:" + four,
                                        "fe80::" + one + "0" + one + "%25eth0", "::ffff:" + four + ":1.2.3.4"}) {
            const std::string text = "https://[" + host + "]:8443/live/" + one + ".m3u8";
            const auto url = URL::fromString(text);
            ASSERT_TRUE(url) << text;
            EXPECT_EQ(url->host(), host) << text;
            EXPECT_EQ(url->port(), 8443) << text;
            EXPECT_EQ(url->path(), "/live/" + one + ".m3u8") << text;
            EXPECT_TRUE(URL::fromString("http://[" + host + "]/")) << host;
            // The parts (a zone read decoded) make the same address again.
            URLComponents parts(*url);
            std::string decoded = host;
            if (const auto zone = decoded.find("%25"); zone != std::string::npos) decoded.erase(zone + 1, 2);
            EXPECT_EQ(parts.host, decoded);
            EXPECT_EQ(parts.url(), url) << text;
        }
    }
    URLComponents built;
    built.scheme = "https";
    built.host = "fe80::Ab%eth0";
    built.port = 8080;
    built.path = "/";
    EXPECT_EQ(built.string(), "https://[fe80::Ab%25eth0]:8080/");
    const auto every = URL::fromString("http://[ABCD:EF01:2345:6789:abcd:ef01:2345:6789%25Wlan-0.1]:65535?q");
    ASSERT_TRUE(every);
    EXPECT_EQ(every->host(), "ABCD:EF01:2345:6789:abcd:ef01:2345:6789%25Wlan-0.1");
    EXPECT_EQ(every->port(), 65535);
    // Letters past f are no hex digits in either case, and a group holds at most four digits.
    for (const char* bad : {"http://[g::1]/", "http://[G::1]/", "http://[1::fG]/", "http://[abcde::1]/",
                            "http://[AbCd:eF::z]:80/", "http://[fe80::a%25]/", "http://[fe80::a%eth0]/"}) {
        EXPECT_FALSE(URL::fromString(bad)) << bad;
    }
}

TEST(URLTest, QueryItemsAreAppendedAfterThoseTheURLHas) {
    const std::vector<URLQueryItem> items{{"a b", "c&d=e"}, {"flag", std::nullopt}};
    EXPECT_EQ(URL::fromString("https://h/p")->appending(items).absoluteString(), "https://h/p?a%20b=c%26d%3De&flag");
    EXPECT_EQ(URL::fromString("https://h/p?x=1#frag")->appending(items).absoluteString(),
              "https://h/p?x=1&a%20b=c%26d%3De&flag#frag");
    EXPECT_EQ(URL::fromString("https://h/p?")->appending(items).absoluteString(), "https://h/p?a%20b=c%26d%3De&flag");
    EXPECT_EQ(URL::fromString("https://h/p?x&")->appending({{"y", "2"}}).absoluteString(), "https://h/p?x&y=2");
    const URL appended = URL::fromString("https://h?x=%2B")->appending({{"k", "+"}});
    EXPECT_EQ(appended.query(), "x=%2B&k=%2B");
    EXPECT_EQ(URLComponents(appended).queryItems, (std::vector<URLQueryItem>{{"x", "+"}, {"k", "+"}}));
    EXPECT_EQ(URL::fromString("https://h/p")->appending({}).absoluteString(), "https://h/p");
}

TEST(URLTest, PartsAreReadAndTheTextIsKeptAsGiven) {
    const auto u = URL::fromString("HTTPS://Media.example.com:8443/vod/a%20b/master.m3u8?token=a%2Bb&x#frag");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->absoluteString(), "HTTPS://Media.example.com:8443/vod/a%20b/master.m3u8?token=a%2Bb&x#frag");
    EXPECT_EQ(u->scheme(), "https");
    EXPECT_EQ(u->host(), "Media.example.com");
    EXPECT_EQ(u->port(), 8443);
    EXPECT_EQ(u->path(), "/vod/a b/master.m3u8");
    EXPECT_EQ(u->query(), "token=a%2Bb&x");
    EXPECT_EQ(u->fragment(), "frag");
    EXPECT_EQ(u->lastPathComponent(), "master.m3u8");
    EXPECT_EQ(u->pathExtension(), "m3u8");
    EXPECT_EQ(u->pathComponents(), (std::vector<std::string>{"/", "vod", "a b", "master.m3u8"}));

    const auto bare = URL::fromString("https://example.com");
    EXPECT_EQ(bare->path(), "");
    EXPECT_EQ(bare->lastPathComponent(), "");
    EXPECT_FALSE(bare->port());
    EXPECT_FALSE(bare->query());
    EXPECT_EQ(URL::fromString("https://e.com/a/b/")->lastPathComponent(), "b");
    EXPECT_EQ(URL::fromString("https://e.com/")->lastPathComponent(), "/");
    EXPECT_EQ(URL::fromString("https://[::1]:1/")->host(), "::1");
    EXPECT_EQ(URL::fromString("skd://content-key-42")->host(), "content-key-42");
    EXPECT_EQ(URL::fromString("http://u:p%40w@h/")->password(), "p@w");
}

TEST(URLTest, PathEditingKeepsQueryAndEncodesWhatThePathNeeds) {
    const auto base = URL::fromString("https://api.example.com/v3?x=1#f");
    EXPECT_EQ(base->appendingPathComponent("play").absoluteString(), "https://api.example.com/v3/play?x=1#f");
    EXPECT_EQ(base->appendingPathComponent("a b?c").absoluteString(), "https://api.example.com/v3/a%20b%3Fc?x=1#f");
    EXPECT_EQ(base->appendingPathComponent("a b?c").lastPathComponent(), "a b?c");
    EXPECT_EQ(URL::fromString("https://h/dir/")->appendingPathComponent("/x").absoluteString(), "https://h/dir/x");
    EXPECT_EQ(URL::fromString("https://h")->appendingPathComponent("oauth/token").absoluteString(),
              "https://h/oauth/token");
    EXPECT_EQ(URL::fromString("https://h/a/b.txt")->deletingLastPathComponent().absoluteString(), "https://h/a/");
    EXPECT_EQ(URL::fromString("https://h/a/b")->appendingPathExtension("json").absoluteString(), "https://h/a/b.json");
    const URL file = URL::fileURL("/tmp/my bundle/Info.plist");
    EXPECT_EQ(file.absoluteString(), "file:///tmp/my%20bundle/Info.plist");
    EXPECT_TRUE(file.isFileURL());
    EXPECT_EQ(file.path(), "/tmp/my bundle/Info.plist");
}

TEST(URLTest, EqualityAndHashingUseTheText) {
    const auto a = URL::fromString("https://h/a");
    EXPECT_EQ(*a, *URL::fromString("https://h/a"));
    EXPECT_NE(*a, *URL::fromString("https://h/a/"));
    std::unordered_set<URL> set{*a, *URL::fromString("https://h/a"), *URL::fromString("https://h/b")};
    EXPECT_EQ(set.size(), 2u);
}

TEST(URLComponentsTest, QueryItemsAreDecodedOnReadAndEncodedStrictlyOnWrite) {
    const auto read =
        URLComponents::fromString("https://h/p?contentId=a%2Fb&keyId=%E2%9C%93&flag&empty=&plus=a+b&&bad=%G1");
    ASSERT_TRUE(read && read->queryItems);
    const std::vector<URLQueryItem> expected{{"contentId", "a/b"}, {"keyId", "\xe2\x9c\x93"}, {"flag", std::nullopt},
                                             {"empty", ""},        {"plus", "a+b"},           {"bad", "%G1"}};
    EXPECT_EQ(*read->queryItems, expected);

    URLComponents built;
    built.scheme = "https";
    built.host = "license.example.com";
    built.path = "/v1/key s";
    built.queryItems =
        std::vector<URLQueryItem>{{"contentId", "a+b&c=d #e"}, {"keyId", "\xc3\xa9"}, {"x", std::nullopt}};
    EXPECT_EQ(built.percentEncodedQuery(), "contentId=a%2Bb%26c%3Dd%20%23e&keyId=%C3%A9&x");
    const auto url = built.url();
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(),
              "https://license.example.com/v1/key%20s?contentId=a%2Bb%26c%3Dd%20%23e&keyId=%C3%A9&x");
    EXPECT_EQ(URLComponents(*url), built);  // the round trip gives back every part
}

TEST(URLComponentsTest, PartsThatMakeNoURLGiveNothing) {
    URLComponents noScheme;
    noScheme.host = "h";
    EXPECT_FALSE(noScheme.url());
    URLComponents relativePath;
    relativePath.scheme = "https";
    relativePath.host = "h";
    relativePath.path = "no-slash";
    EXPECT_FALSE(relativePath.url());
    URLComponents badPort = relativePath;
    badPort.path = "/";
    badPort.port = 70000;
    EXPECT_FALSE(badPort.url());
    URLComponents v6 = badPort;
    v6.host = "::1";
    v6.port = 8080;
    EXPECT_EQ(v6.string(), "https://[::1]:8080/");
}

TEST(URLTest, PercentCodingHelpers) {
    EXPECT_EQ(percentEncoded("a b/c~"), "a%20b%2Fc~");
    EXPECT_EQ(percentEncoded("a b/c", "/"), "a%20b/c");
    EXPECT_EQ(percentDecoded("a%20b%2f"), "a b/");
    EXPECT_FALSE(percentDecoded("%"));
    EXPECT_FALSE(percentDecoded("%4"));
    EXPECT_FALSE(percentDecoded("%zz"));
}

TEST(URLRequestTest, HeaderFieldsAreCaseInsensitive) {
    URLRequest request(*URL::fromString("https://h/"));
    EXPECT_EQ(request.httpMethod, "GET");
    EXPECT_EQ(request.timeoutInterval, 60.0);
    request.setValue("application/json", "Content-Type");
    EXPECT_EQ(request.value("content-type"), "application/json");
    request.setValue("text/plain", "CONTENT-TYPE");
    EXPECT_EQ(request.allHTTPHeaderFields.size(), 1u);
    EXPECT_EQ(request.allHTTPHeaderFields.begin()->first, "Content-Type");  // first spelling kept
    request.addValue("gzip", "Accept-Encoding");
    request.addValue("br", "accept-encoding");
    EXPECT_EQ(request.value("Accept-Encoding"), "gzip,br");
    request.setValue(std::nullopt, "content-type");
    EXPECT_FALSE(request.value("Content-Type"));

    HTTPURLResponse response(*URL::fromString("https://h/"), 200,
                             {{"content-length", "12"}, {"Content-Type", "Application/JSON; charset=utf-8"}});
    EXPECT_EQ(response.expectedContentLength(), 12);
    EXPECT_EQ(response.mimeType(), "application/json");
    EXPECT_FALSE(HTTPURLResponse(response.url, 200, {{"Content-Length", "-1"}}).expectedContentLength());
}

}  // namespace
}  // namespace foundation
