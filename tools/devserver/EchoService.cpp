#include <algorithm>
#include <charconv>

#include <nlohmann/json.hpp>

#include "devserver/Server.h"

namespace devserver {

namespace {

std::optional<long long> number(const RecordedRequest& r, std::string_view name) {
    auto text = r.queryValue(name);
    if (!text || text->empty()) return std::nullopt;
    long long value = 0;
    auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

constexpr long long kMaximumDelayMs = 60'000;
constexpr long long kMaximumGeneratedBytes = 2LL * 1024 * 1024 * 1024;

// Applies ?status=, ?delayMs= and ?header=Name:Value to a reply.
Reply applyCommonParameters(const RecordedRequest& r, Reply reply) {
    if (auto status = number(r, "status")) {
        if (*status < 200 || *status > 599) return Reply::json(400, R"({"error":"status must be 200...599"})");
        reply.status = static_cast<int>(*status);
    } else if (r.queryValue("status")) {
        return Reply::json(400, R"({"error":"status must be a number"})");
    }
    if (auto delay = number(r, "delayMs")) {
        reply.delay = std::chrono::milliseconds(std::clamp(*delay, 0LL, kMaximumDelayMs));
    }
    for (const auto& [name, value] : r.queryParameters) {
        if (name != "header") continue;
        const auto colon = value.find(':');
        if (colon == std::string::npos || colon == 0)
            return Reply::json(400, R"({"error":"header must be Name:Value"})");
        std::string v = value.substr(colon + 1);
        if (!v.empty() && v.front() == ' ') v.erase(0, 1);
        reply.headers.emplace_back(value.substr(0, colon), v);
    }
    return reply;
}

class EchoService final : public Service {
  public:
    std::string name() const override { return "echo"; }

    void registerRoutes(Router& router) override {
        router.add("GET", "/echo/bytes", [](const RecordedRequest& r) {
            auto count = number(r, "count");
            if (!count || *count < 0 || *count > kMaximumGeneratedBytes) {
                return Reply::json(400, R"({"error":"count must be 0...2147483648"})");
            }
            Reply reply;
            reply.contentType = "application/octet-stream";
            reply.generatedBodySize = static_cast<std::size_t>(*count);
            reply.chunked = r.queryValue("chunked") == "1";
            return applyCommonParameters(r, std::move(reply));
        });
        router.add("*", "/echo/redirect", [](const RecordedRequest& r) {
            const std::string to = r.queryValue("to").value_or("/echo");
            if (to.empty() || to.front() != '/')
                return Reply::json(400, R"({"error":"to must be a path on this server"})");
            Reply reply = Reply::json(302, "");
            if (auto status = number(r, "status"); status && *status >= 300 && *status <= 399)
                reply.status = static_cast<int>(*status);
            reply.headers.emplace_back("Location", to);
            return reply;
        });
        router.add("*", "/echo", [](const RecordedRequest& r) {
            nlohmann::json headers = nlohmann::json::object();
            for (const auto& [name, value] : r.headers) headers[name] = value;
            nlohmann::json params = nlohmann::json::object();
            for (const auto& [name, value] : r.queryParameters) params[name] = value;
            nlohmann::json body = {{"method", r.method},         {"path", r.path},     {"query", r.query},
                                   {"queryParameters", params},  {"headers", headers}, {"body", r.body},
                                   {"bodyLength", r.body.size()}};
            Reply reply = Reply::json(200, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            return applyCommonParameters(r, std::move(reply));
        });
    }
};

}  // namespace

std::shared_ptr<Service> makeEchoService() {
    return std::make_shared<EchoService>();
}

}  // namespace devserver
