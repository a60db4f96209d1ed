#include "foundation/detail/HTTPEngine.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/URLError.h"
#include "foundation/URLSession.h"

namespace foundation::detail {

namespace {

using dispatch::Nanoseconds;

HTTPOutcome failure(int code, std::string description = {}) {
    return HTTPOutcome{std::nullopt, std::nullopt, Error(URLError::make(code, std::move(description)))};
}

std::string_view trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return s.substr(b, e - b);
}

// Easy handles kept for the next transfers: setting one up from nothing costs more than the request.
constexpr std::size_t kIdleHandles = 8;

// The most an announced length reserves before its bytes arrive, whatever the cap: a body larger than this
// grows from here as it arrives.
constexpr std::size_t kLargestReserve = 16u * 1024u * 1024u;

// The header list of a request without fields of its own (never freed: libcurl only reads it).
curl_slist* noFields() {
    static curl_slist* const list = curl_slist_append(curl_slist_append(nullptr, "Content-Type:"), "Expect:");
    return list;
}

// The characters of an HTTP token (a field name), looked up rather than searched for in every line.
constexpr auto kTokenCharacters = [] {
    std::array<bool, 256> table{};
    for (int c = 0x21; c < 0x7F; ++c) table[static_cast<std::size_t>(c)] = true;
    for (unsigned char c : std::string_view("()<>@,;:\\\"/[]?={}")) table[c] = false;
    return table;
}();

bool isTokenCharacter(char c) {
    return kTokenCharacters[static_cast<unsigned char>(c)];
}

}  // namespace

void addResponseHeaderLine(HTTPHeaderFields& fields, std::string_view line) {
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer (after a redirect or an interim 1xx): only the last one's fields count.
        fields.clear();
        return;
    }
    // A continuation of the previous line (obsolete folding) names no field of its own.
    if (line.empty() || line.front() == ' ' || line.front() == '\t') return;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = trim(line.substr(0, colon));
    if (name.empty() || !std::all_of(name.begin(), name.end(), isTokenCharacter)) return;
    const std::string_view value = trim(line.substr(colon + 1));
    // A line break or NUL inside a value is no HTTP (and would split the field wherever it is written again).
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return;
    // One search for both cases: a field seen before is joined, a new one goes where the search ended.
    auto it = fields.lower_bound(name);
    if (it != fields.end() && !fields.key_comp()(name, it->first)) {
        // An empty element of a list adds nothing (and "a, " would end in a blank).
        if (value.empty()) return;
        if (!it->second.empty()) it->second.append(", ");
        it->second.append(value);
    } else {
        fields.emplace_hint(it, std::string(name), std::string(value));
    }
}

struct HTTPEngine::Impl {
    struct Transfer;

    // One libcurl easy handle and the options it holds now, so that a reused handle is only told what
    // differs. Its address is stable: the callbacks receive it as their user data.
    struct Handle {
        CURL* easy = nullptr;
        Transfer* transfer = nullptr;  // the transfer using it (I/O thread), nullptr while idle
        char errorBuffer[CURL_ERROR_SIZE] = {};
        std::string trustedCertificatesFile;
        std::string url;  // the URL libcurl holds
        long maxRedirects = -1;
        curl_off_t maxBytes = -1;
        bool hasPostFields = false;
        bool hasCustomRequest = false;
        bool reportsProgress = false;  // libcurl calls onProgress (off by default: it costs on every pass)

        explicit Handle(const std::string& certificates) : trustedCertificatesFile(certificates) {
            easy = curl_easy_init();
            curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
            curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
            if (!certificates.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, certificates.c_str());
            curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
            curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
            curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
            curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
            curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        }
        ~Handle() { curl_easy_cleanup(easy); }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
    };

    // One transfer. Kept with its handle for the next request when done (see `giveBack`).
    struct Transfer {
        std::uint64_t id = 0;
        std::unique_ptr<Handle> handle;
        curl_slist* headers = nullptr;
        std::optional<Data> body;
        std::optional<URL> url;  // as requested: the answer's URL when no redirect moved it
        Data received;
        std::string headerLines;  // the current answer's header lines as received (read into fields on demand)
        std::size_t headerBytes = 0;
        bool tooLarge = false;
        bool headersTooLarge = false;
        bool inHeaders = false;  // between an answer's status line and the blank line that ends its fields
        Limits limits;
        std::shared_ptr<dispatch::Clock> clock;
        std::uint64_t clockGeneration = 0;  // of the one clock when `clock` was taken
        Nanoseconds started{0};
        Nanoseconds lastActivity{0};
        curl_off_t lastUploaded = 0;
        Done done;

        explicit Transfer(const std::string& certificates) : handle(std::make_unique<Handle>(certificates)) {
            handle->transfer = this;
        }
        ~Transfer() { clear(); }
        Transfer(const Transfer&) = delete;
        Transfer& operator=(const Transfer&) = delete;

        // Back to an unused transfer; its handle and buffers stay.
        void clear() {
            if (headers) curl_slist_free_all(headers);
            headers = nullptr;
            body.reset();
            url.reset();
            received.clear();
            headerLines.clear();
            headerBytes = 0;
            tooLarge = headersTooLarge = inHeaders = false;
            limits = {};
            clock.reset();
            lastUploaded = 0;
            done = {};
        }
        // Activity, on the clock the transfer follows (the loop picks up a change of the one clock).
        void touch() { lastActivity = clock->now(); }
        // Follows a change of the one clock (a test installing a manual clock) by restarting the periods.
        void refreshClock() {
            if (limits.fixedClock) return;
            const std::uint64_t generation = dispatch::Clock::generation();
            if (generation == clockGeneration) return;
            clockGeneration = generation;
            auto current = dispatch::Clock::current();
            if (current != clock) {
                clock = std::move(current);
                started = lastActivity = clock->now();
            }
        }
    };

    // Where the I/O thread is. Whoever hands it work wakes it only when it sleeps, in the way it sleeps, and
    // marks it awake so that one wake-up serves everything handed over until it looks again; it looks under
    // the lock before it sleeps, so nothing handed over meanwhile waits.
    enum class Sleep : std::uint8_t {
        awake,    // between two looks at the work handed over: it will look again before it sleeps
        polling,  // in curl_multi_poll, watching the transfers' sockets: libcurl's wake-up socket
        waiting,  // nothing in flight, no socket to watch: on `wakeUp`, cheaper to signal than the socket
    };

    CURLM* multi = nullptr;
    std::mutex mutex;
    std::condition_variable wakeUp;                   // the I/O thread waits on it while Sleep::waiting
    std::vector<std::unique_ptr<Transfer>> incoming;  // guarded by mutex
    std::vector<std::uint64_t> cancels;               // guarded by mutex
    std::vector<std::unique_ptr<Transfer>> idle;      // guarded by mutex
    std::uint64_t nextId = 1;                         // guarded by mutex
    bool stopping = false;                            // guarded by mutex
    Sleep sleep = Sleep::awake;                       // guarded by mutex
    std::vector<std::unique_ptr<Transfer>> active;    // I/O thread only; a few at a time, searched in order
    std::thread thread;

    // Under the lock, after handing work over: how to wake the I/O thread (Sleep::awake: it needs nothing).
    Sleep takeSleep() {
        const Sleep was = sleep;
        sleep = Sleep::awake;
        return was;
    }
    // After the lock is released.
    void wake(Sleep was) {
        if (was == Sleep::polling) curl_multi_wakeup(multi);
        if (was == Sleep::waiting) wakeUp.notify_one();
    }
    std::unique_ptr<Transfer> takeTransfer(const std::string& certificates);
    void giveBack(std::unique_ptr<Transfer> transfer);
    std::unique_ptr<Transfer> takeActive(std::size_t index);
    static void configure(Handle& h, const URLRequest& request, const Limits& limits, Transfer& t);
    void run();
    void finish(std::unique_ptr<Transfer> transfer, HTTPOutcome outcome);
    HTTPOutcome outcomeOf(Transfer& t, CURLcode code);
    // The answer as far as it arrived: its status, URL and header lines; nothing before a status arrived.
    static std::optional<HTTPURLResponse> responseOf(Transfer& t);
    void stop();

    // Makes room in `t.received` for the body's announced length, bounded by the transfer's cap.
    static void reserveAnnounced(Transfer& t);
    static size_t onWrite(char* ptr, size_t size, size_t count, void* user);
    static size_t onHeader(char* ptr, size_t size, size_t count, void* user);
    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow);
};

HTTPEngine& HTTPEngine::shared() {
    static auto* engine = new HTTPEngine();
    return *engine;
}

HTTPEngine::HTTPEngine() : impl_(new Impl()) {
    // libcurl (and its TLS library, which keeps per-thread state) is set up on the I/O thread: that thread
    // is joined at exit, so the state it made goes with it.
    std::promise<void> ready;
    impl_->thread = std::thread([impl = impl_, &ready] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        impl->multi = curl_multi_init();
        ready.set_value();
        impl->run();
    });
    ready.get_future().wait();
    // Registered after the TLS library registered its own clean-up, so that it runs first: the I/O thread
    // has stopped before that clean-up runs.
    std::atexit([] { HTTPEngine::shared().impl_->stop(); });
}

void HTTPEngine::Impl::stop() {
    {
        std::lock_guard lock(mutex);
        if (stopping) return;
        stopping = true;
    }
    wakeUp.notify_one();
    curl_multi_wakeup(multi);
    // exit() called on the I/O thread itself cannot wait for it; the thread ends with the process.
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

std::unique_ptr<HTTPEngine::Impl::Transfer> HTTPEngine::Impl::takeTransfer(const std::string& certificates) {
    {
        std::lock_guard lock(mutex);
        for (auto it = idle.rbegin(); it != idle.rend(); ++it) {
            if ((*it)->handle->trustedCertificatesFile == certificates) {
                auto transfer = std::move(*it);
                idle.erase(std::next(it).base());
                return transfer;
            }
        }
    }
    return std::make_unique<Transfer>(certificates);
}

void HTTPEngine::Impl::giveBack(std::unique_ptr<Transfer> transfer) {
    transfer->clear();
    std::unique_ptr<Transfer> evicted;
    std::lock_guard lock(mutex);
    if (idle.size() >= kIdleHandles) {
        evicted = std::move(idle.front());
        idle.erase(idle.begin());
    }
    idle.push_back(std::move(transfer));
}

std::unique_ptr<HTTPEngine::Impl::Transfer> HTTPEngine::Impl::takeActive(std::size_t index) {
    auto transfer = std::move(active[index]);
    active[index] = std::move(active.back());
    active.pop_back();
    return transfer;
}

void HTTPEngine::Impl::configure(Handle& h, const URLRequest& request, const Limits& limits, Transfer& t) {
    CURL* e = h.easy;
    h.errorBuffer[0] = '\0';
    if (h.url != request.url.absoluteString()) {
        h.url = request.url.absoluteString();
        curl_easy_setopt(e, CURLOPT_URL, h.url.c_str());
    }
    const long redirects = std::max(0, limits.maxRedirects);
    if (redirects != h.maxRedirects) {
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, redirects > 0 ? 1L : 0L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, redirects);
        h.maxRedirects = redirects;
    }
    // A cap beyond what libcurl can count is no cap to it (a negative one it would refuse, keeping the last).
    const auto maxBytes =
        static_cast<curl_off_t>(std::min(static_cast<std::uint64_t>(limits.maxBytes),
                                         static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max())));
    if (maxBytes != h.maxBytes) {
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, maxBytes);
        h.maxBytes = maxBytes;
    }

    // The method: back to a plain GET first, since the handle may have carried another request.
    if (h.hasPostFields) {
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
        h.hasPostFields = false;
    }
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    const std::string& method = request.httpMethod;
    const char* customRequest = nullptr;
    if (method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (method != "GET" || t.body) {
        if (t.body || method == "POST" || method == "PUT" || method == "PATCH") {
            static const std::uint8_t kEmpty = 0;
            const Data* body = t.body ? &*t.body : nullptr;
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? body->size() : 0));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, body && !body->empty() ? body->data() : &kEmpty);
            h.hasPostFields = true;
        }
        if (method != "POST") customRequest = method.c_str();
    }
    if (customRequest || h.hasCustomRequest) {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, customRequest);
        h.hasCustomRequest = customRequest != nullptr;
    }
    // A body being sent is activity for the idle time-out, which only libcurl's progress reports show;
    // without one, what arrives is seen by the write and header callbacks.
    if (h.hasPostFields != h.reportsProgress) {
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, h.hasPostFields ? 0L : 1L);
        h.reportsProgress = h.hasPostFields;
    }

    // Exactly the caller's fields: no form content type of libcurl's own, no "Expect: 100-continue" pause.
    // (libcurl adds those only to a request with a body: one without fields or a body needs no list.)
    if (request.allHTTPHeaderFields.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, h.hasPostFields ? noFields() : nullptr);
        return;
    }
    std::string line;
    for (const auto& [name, value] : request.allHTTPHeaderFields) {
        line.assign(name);
        if (value.empty()) {
            line.push_back(';');
        } else {
            line.append(": ").append(value);
        }
        t.headers = curl_slist_append(t.headers, line.c_str());
    }
    if (!request.allHTTPHeaderFields.contains("Content-Type"))
        t.headers = curl_slist_append(t.headers, "Content-Type:");
    t.headers = curl_slist_append(t.headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
}

std::uint64_t HTTPEngine::start(const URLRequest& request, const Limits& limits, Done done) {
    auto t = impl_->takeTransfer(limits.trustedCertificatesFile);
    t->url = request.url;
    t->limits = limits;
    t->clockGeneration = dispatch::Clock::generation();  // read first: a change after it is seen later
    t->clock = limits.fixedClock ? limits.fixedClock : dispatch::Clock::current();
    t->started = t->lastActivity = t->clock->now();
    t->body = request.httpBody;
    Impl::configure(*t->handle, request, limits, *t);

    std::uint64_t id = 0;
    bool stopped = false;
    Impl::Sleep sleep = Impl::Sleep::awake;
    {
        std::lock_guard lock(impl_->mutex);
        stopped = impl_->stopping;
        if (!stopped) {
            id = t->id = impl_->nextId++;
            t->done = std::move(done);
            impl_->incoming.push_back(std::move(t));
            sleep = impl_->takeSleep();
        }
    }
    if (stopped) {
        if (done) done(failure(URLError::cancelled));
        return 0;
    }
    impl_->wake(sleep);
    return id;
}

void HTTPEngine::cancel(std::uint64_t id) {
    if (id == 0) return;
    Impl::Sleep sleep = Impl::Sleep::awake;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->stopping) return;
        impl_->cancels.push_back(id);
        sleep = impl_->takeSleep();
    }
    impl_->wake(sleep);
}

size_t HTTPEngine::Impl::onWrite(char* ptr, size_t size, size_t count, void* user) {
    Transfer* t = static_cast<Handle*>(user)->transfer;
    const size_t n = size * count;
    t->touch();
    if (t->received.size() + n > t->limits.maxBytes) {
        t->tooLarge = true;
        t->received.clear();
        t->received.shrink_to_fit();
        return 0;  // aborts the transfer
    }
    if (t->received.empty()) reserveAnnounced(*t);
    t->received.insert(t->received.end(), reinterpret_cast<const std::uint8_t*>(ptr),
                       reinterpret_cast<const std::uint8_t*>(ptr) + n);
    if (t->limits.bytesReceived)
        t->limits.bytesReceived->store(static_cast<std::int64_t>(t->received.size()), std::memory_order_relaxed);
    return n;
}

size_t HTTPEngine::Impl::onHeader(char* ptr, size_t size, size_t count, void* user) {
    Transfer* t = static_cast<Handle*>(user)->transfer;
    const size_t n = size * count;
    t->touch();
    t->headerBytes += n;
    if (t->headerBytes > kMaximumResponseHeaderBytes) {
        t->headersTooLarge = true;
        return 0;  // aborts the transfer
    }
    const std::string_view line(ptr, n);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer (after a redirect or an interim 1xx): only the last one's fields count.
        t->inHeaders = true;
        t->headerLines.clear();
        return n;
    }
    if (line == "\r\n" || line == "\n") {
        t->inHeaders = false;
        return n;
    }
    t->headerLines.append(line);
    return n;
}

void HTTPEngine::Impl::reserveAnnounced(Transfer& t) {
    // The body's announced length (of its encoded bytes when it is compressed), so that a body arriving in
    // pieces is copied once rather than again at every doubling of the buffer. The length is the server's
    // word: it makes room for no more than the answer may hold (a body past the cap is refused as it arrives,
    // whatever was announced), and a body longer than announced grows from there.
    curl_off_t announced = -1;
    if (curl_easy_getinfo(t.handle->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK ||
        announced <= 0) {
        return;
    }
    const std::size_t room =
        std::min({static_cast<std::uint64_t>(announced), static_cast<std::uint64_t>(t.limits.maxBytes),
                  static_cast<std::uint64_t>(kLargestReserve)});
    t.received.reserve(room);
}

int HTTPEngine::Impl::onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    Transfer* t = static_cast<Handle*>(user)->transfer;
    if (ulnow != t->lastUploaded) {
        t->lastUploaded = ulnow;
        t->touch();
    }
    return 0;
}

std::optional<HTTPURLResponse> HTTPEngine::Impl::responseOf(Transfer& t) {
    long status = 0;
    curl_easy_getinfo(t.handle->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 100) return std::nullopt;
    char* effective = nullptr;
    curl_easy_getinfo(t.handle->easy, CURLINFO_EFFECTIVE_URL, &effective);
    // The URL that answered: the requested one unless a redirect (or libcurl's spelling) changed it.
    std::optional<URL> url;
    if (effective && t.url && t.url->absoluteString() == effective) {
        url = std::move(t.url);
    } else if (effective) {
        url = URL::fromString(effective);
    }
    if (!url) return std::nullopt;
    // The lines are copied out (one allocation of their size) so that the transfer keeps its buffer.
    return HTTPURLResponse::withHeaderLines(std::move(*url), static_cast<int>(status), std::string(t.headerLines));
}

HTTPOutcome HTTPEngine::Impl::outcomeOf(Transfer& t, CURLcode code) {
    // An answer refused for its size still has the status it arrived with (and the header fields read before
    // the cap): what is refused is its body, or the rest of its headers. A caller reads the status (a 403 stays
    // a refusal, whatever page came with it); the body is never delivered.
    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        HTTPOutcome outcome = failure(URLError::dataLengthExceedsMaximum,
                                      URLError::description(URLError::dataLengthExceedsMaximum) + " (larger than " +
                                          std::to_string(t.limits.maxBytes) + " bytes)");
        outcome.response = responseOf(t);
        return outcome;
    }
    const char* errorText = t.handle->errorBuffer;
    // Ours, or libcurl's own bounds on the headers of an answer: on all of them together (reported as a
    // failure to receive) and on one line (reported as running out of memory, while the fields arrive).
    if (t.headersTooLarge || std::strstr(errorText, "response headers") ||
        (code == CURLE_OUT_OF_MEMORY && t.inHeaders)) {
        HTTPOutcome outcome =
            failure(URLError::badServerResponse, URLError::description(URLError::badServerResponse) +
                                                     " (the response headers are larger than " +
                                                     std::to_string(kMaximumResponseHeaderBytes) + " bytes)");
        outcome.response = responseOf(t);
        return outcome;
    }
    switch (code) {
        case CURLE_OK: {
            auto response = responseOf(t);
            if (!response) return failure(URLError::badServerResponse);
            return HTTPOutcome{std::move(t.received), std::move(response), std::nullopt};
        }
        case CURLE_COULDNT_CONNECT:
            return failure(URLError::cannotConnectToHost);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return failure(URLError::cannotFindHost);
        case CURLE_OPERATION_TIMEDOUT:
            return failure(URLError::timedOut);
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return failure(URLError::networkConnectionLost);
        case CURLE_TOO_MANY_REDIRECTS:
            return failure(URLError::httpTooManyRedirects);
        case CURLE_UNSUPPORTED_PROTOCOL:
            // Also libcurl's answer to a reply without a status line (HTTP/0.9), which is no URL problem.
            if (std::strstr(errorText, "HTTP/0.9")) return failure(URLError::cannotParseResponse);
            return failure(URLError::unsupportedURL);
        case CURLE_URL_MALFORMAT:
            return failure(URLError::badURL);
        case CURLE_PEER_FAILED_VERIFICATION:
            return failure(URLError::serverCertificateUntrusted);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_USE_SSL_FAILED:
            return failure(URLError::secureConnectionFailed);
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
            return failure(URLError::cannotParseResponse);
        default: {
            std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(code));
            return failure(URLError::unknown, "unknown error (" + detail + ")");
        }
    }
}

void HTTPEngine::Impl::finish(std::unique_ptr<Transfer> transfer, HTTPOutcome outcome) {
    curl_multi_remove_handle(multi, transfer->handle->easy);
    Done done = std::move(transfer->done);
    giveBack(std::move(transfer));
    if (done) done(std::move(outcome));
}

void HTTPEngine::Impl::run() {
    // Swapped with the guarded lists each turn (their buffers go back and forth; nothing is allocated).
    std::vector<std::unique_ptr<Transfer>> arrived;
    std::vector<std::uint64_t> cancelled;
    std::vector<std::size_t> expired;
    auto indexOf = [this](auto&& matches) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < active.size(); ++i) {
            if (matches(*active[i])) return i;
        }
        return std::nullopt;
    };
    for (;;) {
        {
            std::lock_guard lock(mutex);
            sleep = Sleep::awake;
            // At exit: transfers in flight end here, without completions (their handles go with the process).
            if (stopping) return;
            arrived.swap(incoming);
            cancelled.swap(cancels);
        }
        for (auto& t : arrived) {
            curl_multi_add_handle(multi, t->handle->easy);
            active.push_back(std::move(t));
        }
        arrived.clear();
        for (auto id : cancelled) {
            const auto i = indexOf([id](const Transfer& t) { return t.id == id; });
            if (!i) continue;
            auto t = takeActive(*i);
            // The task has already delivered its cancellation; nothing more is reported.
            t->done = {};
            finish(std::move(t), {});
        }
        cancelled.clear();

        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Handle* handle = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &handle);
            const CURLcode code = msg->data.result;
            if (!handle || !handle->transfer) continue;
            const Transfer* done = handle->transfer;
            const auto i = indexOf([done](const Transfer& t) { return &t == done; });
            if (!i) continue;
            auto t = takeActive(*i);
            HTTPOutcome outcome = outcomeOf(*t, code);
            finish(std::move(t), std::move(outcome));
        }

        // Time-outs on each transfer's clock.
        long waitMs = active.empty() ? 1000 : 250;
        expired.clear();
        for (std::size_t i = 0; i < active.size(); ++i) {
            Transfer& t = *active[i];
            t.refreshClock();
            const Nanoseconds now = t.clock->now();
            const Nanoseconds idleLimit = dispatch::nanosecondsFromSeconds(t.limits.idleTimeout);
            const Nanoseconds total = dispatch::nanosecondsFromSeconds(t.limits.totalTimeout);
            if (now - t.lastActivity >= idleLimit || now - t.started >= total) {
                expired.push_back(i);
                continue;
            }
            if (t.clock->isManual()) {
                waitMs = std::min(waitMs, 10L);
            } else {
                // Limits too long for the clock (a time-out of 1e300 s) saturate rather than wrap.
                const auto left = std::min(dispatch::saturatingAdd(t.lastActivity, idleLimit),
                                           dispatch::saturatingAdd(t.started, total)) -
                                  now;
                const long ms =
                    static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1;
                waitMs = std::min(waitMs, std::max(ms, 1L));
            }
        }
        // From the last, so that taking one out does not move another still to be taken.
        for (auto it = expired.rbegin(); it != expired.rend(); ++it)
            finish(takeActive(*it), failure(URLError::timedOut));
        if (!expired.empty()) continue;

        long curlTimeout = -1;
        curl_multi_timeout(multi, &curlTimeout);
        if (curlTimeout >= 0) waitMs = std::min(waitMs, curlTimeout);
        {
            // A last look before sleeping; from here on whoever hands work over sees how to wake this thread.
            std::unique_lock lock(mutex);
            if (stopping || !incoming.empty() || !cancels.empty()) continue;
            if (active.empty() && curlTimeout < 0) {
                sleep = Sleep::waiting;
                wakeUp.wait(lock, [this] { return stopping || !incoming.empty() || !cancels.empty(); });
                continue;
            }
            sleep = Sleep::polling;
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
    }
}

}  // namespace foundation::detail
