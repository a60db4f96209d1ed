// The JSON encoder (foundation::JSONEncoder) writing a model key by key.
//
// Growth: one object of 1,000 keys against one of 100 (text, whole numbers, fractions and flags in turn, a few
// of them nested objects), each written to compact text; time per encode of 1,000 over time per encode of
// 100, interleaved rounds after a warm-up. Linear would be 10x; goal: within 11x. Instructions likewise
// (callgrind).
//
// For scale: the same 1,000 keys put into an nlohmann-json value and written by its compact dump (the least
// an encoder building that value does), and the two request bodies of the player screen's start-up, the play
// request and a player event, in instructions per body.
//
// Run: build/release/bench/json/json_bench [--rounds N]
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "BenchSupport.h"
#include "foundation/JSON.h"
#include "playservice/AssetInfo.h"
#include "playservice/PlayerEventRequest.h"

namespace {

// Hands `field(key, value)` the keys and values of an object of `keys` keys, in order: text, whole
// numbers, fractions and flags in turn; every tenth key a small object of its own (`Wide::Inner`).
template <class Inner, class F>
void eachFieldOf(int keys, F&& field) {
    std::string key = "field";
    for (int i = 0; i < keys; ++i) {
        key.resize(5);
        key += std::to_string(i);
        switch (i % 5) {
            case 0:
                field(key, std::string("value of field ") + std::to_string(i));
                break;
            case 1:
                field(key, static_cast<std::int64_t>(i) * 7919);
                break;
            case 2:
                field(key, i * 0.25);
                break;
            case 3:
                field(key, i % 2 == 0);
                break;
            default:
                if (i % 10 == 9) {
                    field(key, Inner{i});
                } else {
                    field(key, std::string("text with \"quotes\" and a\ttab"));
                }
        }
    }
}

// An object of `keys` keys. Every tenth key holds a small object of its own.
struct Wide {
    int keys = 0;
    struct Inner {
        int index = 0;
        void encode(foundation::KeyedEncodingContainer& c) const {
            c.encode("index", index);
            c.encode("label", std::string("inner value"));
        }
    };
    void encode(foundation::KeyedEncodingContainer& c) const {
        eachFieldOf<Inner>(keys, [&c](const std::string& key, const auto& value) { c.encode(key, value); });
    }
};

// The same keys and values as an nlohmann-json value, written by its dump.
std::size_t nlohmannWide(int keys) {
    foundation::JSONValue value = foundation::JSONValue::object();
    auto& fields = value.get_ref<foundation::JSONValue::object_t&>();
    eachFieldOf<Wide::Inner>(keys, [&fields](const std::string& key, const auto& field) {
        if constexpr (std::is_same_v<std::decay_t<decltype(field)>, Wide::Inner>) {
            fields.emplace_back(key, foundation::JSONValue{{"index", field.index}, {"label", "inner value"}});
        } else {
            fields.emplace_back(key, field);
        }
    });
    return value.dump().size();
}

std::size_t encode(const Wide& wide) {
    auto data = foundation::JSONEncoder().encode(wide);
    if (!data) std::abort();
    return data->size();
}

lumora::AssetInfo playRequest() {
    lumora::AssetInfo info;
    info.assetId = "vod-protected";
    info.application = {.name = "Harbour Sport", .version = "4.2.0", .appId = "com.example.harbour"};
    info.device = {
        .id = "8C3A0D52-5A8E-4E43-9D2B-3E1F0A6B7C11", .type = "phone", .brand = "lumora devices", .model = "model-x 2"};
    info.os = {.name = "linux", .version = "6.1"};
    info.player = {.name = "LinuxPlayer", .version = "Linux-6.1"};
    info.capabilities = {.codecs = {"avc", "hevc"}, .drm = std::vector<std::string>{"fairplay"}};
    info.ads = {.optOut = true, .csai = std::nullopt, .ifa = "00000000-0000-0000-0000-000000000000", .ifaType = "idfa"};
    return info;
}

lumora::PlayerEventRequest::Body playerEvent() {
    lumora::PlayerEventRequest::Body body;
    body.eventName = "playerEvent";
    body.originatorId = "originator-1";
    body.subProfileId = "profile-1";
    body.versions = std::vector<std::string>{"1.0"};
    body.tenant = "lumora";
    body.logData = "";
    body.client = {.buildName = "ostra-ios_app",
                   .buildVersion = "42",
                   .deviceId = "DEVICE-1",
                   .drm = "fairplay",
                   .envPlatform = "Linux",
                   .envVersion = "6.1",
                   .pageUrl = "video",
                   .platform = "ios",
                   .playerEvent = "str_start",
                   .playerState = "pause",
                   .streamUrl = "http://127.0.0.1:8080/hls/vod-protected/master.m3u8",
                   .userAgent = "Lumora/1.0",
                   .videoFormat = "application/vnd.apple.mpegurl",
                   .videoProtocol = "https",
                   .viewingSession = "DEVICE-1"};
    body.originator = "ios_app";
    body.timestamp = "2024-03-05T14:07:09.042";
    body.progress = {.assetId = "vod-protected",
                     .categoryId = "sport",
                     .title = "Harbour Derby",
                     .eventNumber = 1,
                     .playbackType = "vod",
                     .vod = lumora::PlayerEventRequest::Progress::Vod{.duration = 120.0, .position = "0.0"}};
    return body;
}

template <class T>
std::size_t encodeBody(const T& body) {
    auto data = foundation::JSONEncoder().encode(body);
    if (!data) std::abort();
    return data->size();
}

}  // namespace

int main(int argc, char** argv) {
    const Wide small{100};
    const Wide large{1000};
    const lumora::AssetInfo play = playRequest();
    const lumora::PlayerEventRequest::Body event = playerEvent();
    if (bench::instructionMode(argc, argv)) {
        encode(small);
        encode(large);
        nlohmannWide(1000);
        encodeBody(play);
        encodeBody(event);
        bench::countInstructions("encode 1,000 keys", [&] { encode(large); });
        bench::countInstructions("encode 100 keys", [&] { encode(small); });
        bench::countInstructions("nlohmann-json, 1,000 keys", [&] { nlohmannWide(1000); });
        bench::countInstructions("play request body", [&] { encodeBody(play); });
        bench::countInstructions("player event body", [&] { encodeBody(event); });
        return 0;
    }
    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("21"));

    const auto run = [](const Wide& wide) {
        return [&wide](int n) {
            for (int i = 0; i < n; ++i) encode(wide);
        };
    };
    const std::vector<bench::Side> sides{
        {"encode 1,000 keys", run(large)}, {"encode 100 keys", run(small)}, {"nlohmann-json, 1,000 keys", [](int n) {
                                                                                 for (int i = 0; i < n; ++i)
                                                                                     nlohmannWide(1000);
                                                                             }}};
    const auto perOp = bench::interleave(sides, rounds, 200);
    bench::printWall("JSON encoding growth, 1,000 against 100 keys", sides, perOp, 0, 1, 11.0);
    bench::printPairedRatio(sides, perOp, 0, 2, 0);

    if (auto counts = bench::runUnderCallgrind({"--instructions"})) {
        bench::printInstructions("JSON encoding growth, instructions", *counts, "encode 1,000 keys", "encode 100 keys",
                                 1, 11.0);
        bench::printInstructions("For scale", *counts, "encode 1,000 keys", "nlohmann-json, 1,000 keys", 1, 0);
        std::printf("The start-up's request bodies (instructions per body, callgrind):\n");
        for (const char* body : {"play request body", "player event body"}) {
            std::printf("  %-44s %12.0f\n", body, counts->at(body));
        }
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    return 0;
}
