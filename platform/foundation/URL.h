#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

struct URLQueryItem;

// An absolute URL with an authority, parsed once when it is made: the value keeps its text and where
// each part lies in it, so reading a part never parses again. A URL value always holds a valid URL:
// `fromString` gives nothing for the empty text, for text without a scheme and "//" ("example.com/a",
// "mailto:a@b"), for characters a URL never holds (spaces, controls, non-ASCII, `"<>\^`{|}`), for a
// missing or malformed host, and for a port that is not a number up to 65535. A "file" URL has an empty
// host ("file:///tmp/a").
//
// `absoluteString()` is the text exactly as given (no normalisation), and equality and hashing compare
// that text, as on the platform. `path()` and `lastPathComponent()` are percent-decoded; `query()` and
// `fragment()` stay percent-encoded (decode query values through `URLComponents::queryItems`).
class URL {
  public:
    static std::optional<URL> fromString(std::string_view text);
    // The same, keeping the given text without copying it (text that is no URL is left as it was).
    template <class S>
    requires std::same_as<S, std::string>
    static std::optional<URL> fromString(S&& text) {
        auto layout = parse(text);
        if (!layout) return std::nullopt;
        return URL(std::move(text), *layout);
    }
    // A file URL for an absolute filesystem path ("file://" + the path, percent-encoded where needed).
    // A relative path is taken relative to the current working directory.
    static URL fileURL(std::string_view path);

    const std::string& absoluteString() const { return text_; }
    // Lower-case scheme: "https", "file", "skd"...
    std::string scheme() const;
    std::optional<std::string> host() const;
    std::optional<int> port() const;
    // Percent-decoded path, "/" for "https://example.com" and "" where the URL has none.
    std::string path() const;
    // Percent-encoded query without the "?" (nothing when the URL has no "?").
    std::optional<std::string> query() const;
    std::optional<std::string> fragment() const;
    std::optional<std::string> user() const;
    std::optional<std::string> password() const;

    // The last component of the decoded path ("/a/b.m3u8" -> "b.m3u8", "/a/b/" -> "b", "/" -> "/", "" -> "").
    std::string lastPathComponent() const;
    // The text after the last "." of the last path component, "" when none.
    std::string pathExtension() const;
    // The decoded path split at "/" with "/" first for an absolute path ("/a/b" -> {"/", "a", "b"}).
    std::vector<std::string> pathComponents() const;
    // A URL whose path has `component` appended after one "/" (percent-encoded where the path needs it;
    // "/" inside `component` stays a separator). Query and fragment are kept.
    URL appendingPathComponent(std::string_view component) const;
    URL appendingPathExtension(std::string_view extension) const;
    URL deletingLastPathComponent() const;
    bool isFileURL() const;

    friend bool operator==(const URL& a, const URL& b) { return a.text_ == b.text_; }

    // This URL with `items` appended to its query (after any items it has; strictly encoded as
    // `URLComponents` encodes them), the fragment kept. The URL itself when `items` is empty.
    URL appending(const std::vector<URLQueryItem>& items) const;

  private:
    // Where the parts lie in the text (offsets; texts of 4 GiB or more are refused).
    struct Layout {
        std::uint32_t schemeEnd = 0;  // the ":" after the scheme
        std::uint32_t userBegin = 0;  // user information, before "@"
        std::uint32_t userEnd = 0;
        std::uint32_t hostBegin = 0;  // as written, IPv6 brackets included
        std::uint32_t hostEnd = 0;
        std::uint32_t pathEnd = 0;  // the path starts at hostEnd or after the port
        std::uint32_t pathBegin = 0;
        std::uint32_t queryEnd = 0;  // the query is [pathEnd + 1, queryEnd) when there is one
        std::int32_t port = -1;      // -1: none written
        bool hasUser = false;
        bool hasQuery = false;
        bool hasFragment = false;  // the fragment is [queryEnd + 1, end)
        bool schemeIsLower = true;
    };
    URL(std::string text, const Layout& layout) : text_(std::move(text)), layout_(layout) {}
    static std::optional<Layout> parse(std::string_view text);
    friend struct URLComponents;
    std::string text_;
    Layout layout_;
};

// One "name=value" pair of a query. `value` is nothing for a bare "name" (no "=").
struct URLQueryItem {
    std::string name;
    std::optional<std::string> value;
    friend bool operator==(const URLQueryItem&, const URLQueryItem&) = default;
};

// The parts of a URL, to read or to build one. Fields hold decoded text: reading from a URL
// percent-decodes them, and `url()` / `string()` percent-encode what each part needs. Query item names
// and values are encoded strictly (everything but letters, digits and "-._~"), so "+", "&", "=" and "#"
// in a value arrive at the server as the same characters; "+" is never read as a space.
struct URLComponents {
    std::optional<std::string> scheme;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string path;
    std::optional<std::vector<URLQueryItem>> queryItems;
    std::optional<std::string> fragment;

    URLComponents() = default;
    // The parts of `url`. `resolvingAgainstBaseURL` of the platform has no meaning here (URLs are absolute).
    explicit URLComponents(const URL& url);
    // Nothing where `URL::fromString(text)` gives nothing.
    static std::optional<URLComponents> fromString(std::string_view text);

    // The query as it is written in the URL (encoded), nothing when `queryItems` is nothing.
    std::optional<std::string> percentEncodedQuery() const;
    // The URL text; nothing when the parts do not make a valid absolute URL (no scheme, a path that
    // does not start with "/" while there is a host, an invalid host or port...).
    std::optional<std::string> string() const;
    std::optional<URL> url() const;

    friend bool operator==(const URLComponents&, const URLComponents&) = default;
};

// Percent-encoding helpers. `percentEncoded` keeps letters, digits, "-._~" and the characters in `keep`.
std::string percentEncoded(std::string_view text, std::string_view keep = "");
// Decodes "%XX" sequences; nothing for a malformed sequence ("%G1", a trailing "%").
std::optional<std::string> percentDecoded(std::string_view text);

}  // namespace foundation

template <>
struct std::hash<foundation::URL> {
    std::size_t operator()(const foundation::URL& url) const noexcept {
        return std::hash<std::string>{}(url.absoluteString());
    }
};
