#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dispatch/Clock.h"
#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URLRequest.h"

// The one I/O thread of the process: every HTTP transfer runs on it with a libcurl multi handle. Used by
// URLSession; not part of the public interface.
namespace foundation::detail {

struct HTTPOutcome {
    std::optional<Data> data;
    std::optional<HTTPURLResponse> response;
    std::optional<Error> error;
};

// Adds one header line of an answer, as libcurl hands it over (its CR LF included), to `fields`: a status
// line ("HTTP/...") starts a new answer (after a redirect or an interim 1xx), so it empties `fields`; a
// field line "name: value" adds the value with surrounding blanks trimmed, joined with ", " to an earlier
// value of the same name (an empty value adds nothing to a field that has one); anything else (the blank end line, a
// folded continuation, a name that is not an HTTP token, a value holding CR, LF or NUL) is left out.
void addResponseHeaderLine(HTTPHeaderFields& fields, std::string_view line);

class HTTPEngine {
  public:
    struct Limits {
        double idleTimeout = 60;
        double totalTimeout = 7 * 24 * 3600.0;
        std::size_t maxBytes = 64u * 1024u * 1024u;
        int maxRedirects = 10;
        std::string trustedCertificatesFile;
        // Time source: the one clock (nullptr) or a private real clock (synchronous downloads).
        std::shared_ptr<dispatch::Clock> fixedClock;
        // Where the count of body bytes received so far is kept (nothing: not kept). It must outlive the
        // transfer: a data task's own counter, kept alive by the completion that holds the task.
        std::atomic<std::int64_t>* bytesReceived = nullptr;
    };
    // Who receives a transfer's outcome: `receive(target, outcome)`, with `target` kept alive by the transfer.
    // (A plain pair rather than a std::function: no allocation per request.)
    struct Done {
        std::shared_ptr<void> target;
        void (*receive)(void* target, HTTPOutcome&& outcome) = nullptr;
        explicit operator bool() const { return receive != nullptr; }
        void operator()(HTTPOutcome&& outcome) const { receive(target.get(), std::move(outcome)); }
    };

    // Never destroyed. When the process exits, the I/O thread is stopped and joined before the exit
    // handlers registered ahead of the engine (those of libcurl's TLS library among them) run; transfers
    // still in flight then end without a completion.
    static HTTPEngine& shared();

    // Starts a transfer of `request` and returns its id. `done` runs once, on the I/O thread, unless the
    // transfer is cancelled or the process exits first; once the process has begun to exit it runs at once
    // with a cancellation.
    std::uint64_t start(const URLRequest& request, const Limits& limits, Done done);
    // Ends a transfer without calling its `done` (0 or an id that has finished: nothing happens).
    void cancel(std::uint64_t id);

    HTTPEngine(const HTTPEngine&) = delete;
    HTTPEngine& operator=(const HTTPEngine&) = delete;

  private:
    struct Impl;
    HTTPEngine();
    ~HTTPEngine() = delete;
    Impl* impl_;
};

}  // namespace foundation::detail
