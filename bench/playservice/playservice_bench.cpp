// Decoding a realistic play response (the local back end's answer for a protected asset: a 28-field
// analytics block, markers, the audience block and a full player-event template) into the play response
// model and mapping it to the player's asset model, against a bare nlohmann-json parse of the same bytes
// (which builds a document and reads nothing from it). Wall time in interleaved rounds and instructions
// (callgrind). Goal: decode + map at most as long as the bare parse alone (1.0x).
//
// Run: build/release/bench/playservice/playservice_bench [--rounds N]
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "BenchSupport.h"
#include "devserver/PlayService.h"
#include "foundation/JSON.h"
#include "playservice/PlayAssetModelMapper.h"

namespace {

constexpr int kPerRound = 2000;
constexpr int kCounted = 200;

const foundation::Data& responseBytes() {
    static const foundation::Data bytes =
        foundation::dataFromString(devserver::play::playResponse("vod-protected", "http://127.0.0.1:41234")->dump());
    return bytes;
}

void decodeAndMap(int n) {
    const foundation::JSONDecoder decoder;
    for (int i = 0; i < n; ++i) {
        auto model = decoder.decode<lumora::PlayAssetAPIModel>(responseBytes());
        if (!model) std::abort();
        auto asset = lumora::PlayAssetModelMapper::map(std::move(*model));
        if (!asset || asset->stream.manifestURL.absoluteString().empty()) std::abort();
    }
}

void bareParse(int n) {
    const foundation::Data& bytes = responseBytes();
    for (int i = 0; i < n; ++i) {
        auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
        if (json.is_discarded()) std::abort();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::instructionMode(argc, argv)) {
        decodeAndMap(20);
        bareParse(20);
        bench::countInstructions("decode + map", [] { decodeAndMap(kCounted); });
        bench::countInstructions("bare nlohmann parse", [] { bareParse(kCounted); });
        return 0;
    }
    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("15"));
    std::printf("Play response: %zu bytes\n", responseBytes().size());
    const std::vector<bench::Side> sides{{"decode + map", decodeAndMap}, {"bare nlohmann parse", bareParse}};
    const auto perOp = bench::interleave(sides, rounds, kPerRound);
    bench::printWall("Play response, " + std::to_string(kPerRound) + " a round", sides, perOp, 0, 1, 1.0);
    if (auto counts = bench::runUnderCallgrind({"--instructions"})) {
        bench::printInstructions("Play response, instructions", *counts, "decode + map", "bare nlohmann parse",
                                 kCounted, 1.0);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    return 0;
}
