// Decoding a realistic play response (the local back end's answer for a protected asset: a 28-field
// analytics block, markers, the audience block and a full player-event template) into the play response
// model and mapping it to the player's asset model, against the floor of that work on the parser the kit
// decodes with: simdjson's parse of the same bytes and a read of every value in it (each key, string,
// number and flag; strings as views, nothing kept). Wall time in interleaved rounds and instructions
// (callgrind). Goal: decode + map within 2.5x of the floor's instructions. A bare nlohmann-json parse of the
// same bytes (which builds a document and reads nothing from it) is shown for scale.
//
// Run: build/release/bench/playservice/playservice_bench [--rounds N]
#include <simdjson.h>

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
constexpr double kGoal = 2.5;

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

// What reading every value leaves behind, so that none of the reads can be left out.
struct Readings {
    std::size_t textBytes = 0;
    double numbers = 0;
    std::size_t flags = 0;
    std::size_t nulls = 0;
};

void readEveryValue(simdjson::dom::element value, Readings& readings) {
    using Type = simdjson::dom::element_type;
    switch (value.type()) {
        case Type::OBJECT: {
            const simdjson::dom::object object = value.get_object().value_unsafe();
            for (const auto field : object) {
                readings.textBytes += field.key.size();
                readEveryValue(field.value, readings);
            }
            break;
        }
        case Type::ARRAY: {
            const simdjson::dom::array array = value.get_array().value_unsafe();
            for (const auto element : array) readEveryValue(element, readings);
            break;
        }
        case Type::STRING:
            readings.textBytes += value.get_string().value_unsafe().size();
            break;
        case Type::INT64:
            readings.numbers += static_cast<double>(value.get_int64().value_unsafe());
            break;
        case Type::UINT64:
            readings.numbers += static_cast<double>(value.get_uint64().value_unsafe());
            break;
        case Type::DOUBLE:
            readings.numbers += value.get_double().value_unsafe();
            break;
        case Type::BOOL:
            readings.flags += value.get_bool().value_unsafe() ? 1 : 0;
            break;
        case Type::NULL_VALUE:
            ++readings.nulls;
            break;
    }
}

void simdjsonFloor(int n) {
    static simdjson::dom::parser parser;  // kept between documents, as the kit keeps its parsers
    const foundation::Data& bytes = responseBytes();
    for (int i = 0; i < n; ++i) {
        simdjson::dom::element root;
        if (parser.parse(bytes.data(), bytes.size()).get(root) != simdjson::SUCCESS) std::abort();
        Readings readings;
        readEveryValue(root, readings);
        if (readings.textBytes == 0) std::abort();
    }
}

void bareNlohmannParse(int n) {
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
        simdjsonFloor(20);
        bareNlohmannParse(20);
        bench::countInstructions("decode + map", [] { decodeAndMap(kCounted); });
        bench::countInstructions("simdjson parse + read every value", [] { simdjsonFloor(kCounted); });
        bench::countInstructions("bare nlohmann parse", [] { bareNlohmannParse(kCounted); });
        return 0;
    }
    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("15"));
    std::printf("Play response: %zu bytes\n", responseBytes().size());
    const std::vector<bench::Side> sides{{"decode + map", decodeAndMap},
                                         {"simdjson parse + read every value", simdjsonFloor},
                                         {"bare nlohmann parse", bareNlohmannParse}};
    const auto perOp = bench::interleave(sides, rounds, kPerRound);
    bench::printWall("Play response, " + std::to_string(kPerRound) + " a round", sides, perOp, 0, 1, 0);
    bench::printPairedRatio(sides, perOp, 0, 2, 0);
    if (auto counts = bench::runUnderCallgrind({"--instructions"})) {
        bench::printInstructions("Play response, instructions", *counts, "decode + map",
                                 "simdjson parse + read every value", kCounted, kGoal);
        bench::printInstructions("Play response against nlohmann-json, instructions", *counts, "decode + map",
                                 "bare nlohmann parse", kCounted, 0);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    return 0;
}
