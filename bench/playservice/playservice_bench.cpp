// Decoding a realistic play response (the local back end's answer for a protected asset: a 28-field
// analytics block, markers, the audience block and a full player-event template) into the play response
// model and mapping it to the player's asset model, against a bare nlohmann-json parse of the same bytes.
// Goal: decode + map within 1.5x of the bare parse.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "devserver/PlayService.h"
#include "foundation/JSON.h"
#include "playservice/PlayAssetModelMapper.h"

namespace {

const foundation::Data& responseBytes() {
    static const foundation::Data bytes =
        foundation::dataFromString(devserver::play::playResponse("vod-protected", "http://127.0.0.1:41234")->dump());
    return bytes;
}

void BM_DecodeAndMapPlayResponse(benchmark::State& state) {
    const foundation::Data& bytes = responseBytes();
    const foundation::JSONDecoder decoder;
    for (auto _ : state) {
        auto model = decoder.decode<lumora::PlayAssetAPIModel>(bytes);
        if (!model) {
            state.SkipWithError(model.error().localizedDescription().c_str());
            break;
        }
        auto asset = lumora::PlayAssetModelMapper::map(std::move(*model));
        if (!asset) {
            state.SkipWithError(asset.error().localizedDescription().c_str());
            break;
        }
        benchmark::DoNotOptimize(asset);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_BareNlohmannParse(benchmark::State& state) {
    const foundation::Data& bytes = responseBytes();
    for (auto _ : state) {
        auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
        if (json.is_discarded()) {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(json);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_DecodeAndMapPlayResponse)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareNlohmannParse)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

class MedianReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("Play response: %zu bytes\n", responseBytes().size());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto mapped = reporter.medians.find("BM_DecodeAndMapPlayResponse");
    const auto bare = reporter.medians.find("BM_BareNlohmannParse");
    if (mapped != reporter.medians.end() && bare != reporter.medians.end() && bare->second > 0) {
        const double ratio = mapped->second / bare->second;
        std::printf("\nDecode + map / bare parse (medians): %.3fx (goal within 1.50x): %s\n", ratio,
                    ratio <= 1.50 ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    return 0;
}
