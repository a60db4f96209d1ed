// Building a BIF index of 600 frames of 320 × 180 JPEG (every image decoded, as the index does) against
// decoding the same frames with bare TurboJPEG calls into buffers that are kept until the end, as the
// index keeps its images. Goal: the index within 1.10× of the bare decode. Also reports how much the
// peak resident memory (getrusage) grows while one index is built, against the bytes of its decoded pixels.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imageio/ImageDecoder.h"
#include "keymoments/BIF.h"
#include "keymoments/testing/BIFWriter.h"

namespace {

constexpr std::uint32_t kWidth = 320;
constexpr std::uint32_t kHeight = 180;
constexpr int kFrames = 600;

struct Fixture {
    std::vector<std::vector<std::uint8_t>> jpegs;
    std::vector<std::uint8_t> bif;
};

// A picture that changes from frame to frame: a shifting gradient, a moving block and some grain, so the
// JPEG data is about as large as a real scrubbing thumbnail's.
std::vector<std::uint8_t> frameJPEG(int frame) {
    std::vector<std::uint8_t> rgba(std::size_t{kWidth} * kHeight * 4);
    std::uint32_t noise = 2166136261u ^ static_cast<std::uint32_t>(frame);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const std::uint8_t grain = static_cast<std::uint8_t>((noise >> 24) & 0x1F);
            const bool block = (x + 3 * static_cast<std::uint32_t>(frame)) % kWidth < 80 && y > 40 && y < 120;
            std::uint8_t* p = &rgba[(std::size_t{y} * kWidth + x) * 4];
            p[0] = static_cast<std::uint8_t>((x + static_cast<std::uint32_t>(frame)) % 256 / 2 + grain);
            p[1] = static_cast<std::uint8_t>(block ? 220 : y + grain);
            p[2] = static_cast<std::uint8_t>((x * y / 97 + static_cast<std::uint32_t>(frame) * 5) % 200 + grain);
            p[3] = 255;
        }
    }
    return *imageio::encodeJPEG(*imageio::Bitmap::fromRGBA(kWidth, kHeight, rgba), 80);
}

const Fixture& fixture() {
    static const Fixture made = [] {
        Fixture f;
        lumora::testing::BIFWriter writer;
        writer.framewiseSeparation = 10'000;
        for (int i = 0; i < kFrames; ++i) {
            f.jpegs.push_back(frameJPEG(i));
            writer.frames.emplace_back(static_cast<std::uint32_t>(i), f.jpegs.back());
        }
        f.bif = writer.write();
        return f;
    }();
    return made;
}

void BM_BuildBIFIndex(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        auto bif = lumora::BIF::from(f.bif, lumora::BIFResolution::standard);
        if (!bif || bif->thumbnails.size() != kFrames || !bif->thumbnails.back().value) {
            state.SkipWithError("the index was not built");
            break;
        }
        benchmark::DoNotOptimize(bif);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_BareTurboJPEG(benchmark::State& state) {
    const Fixture& f = fixture();
    tjhandle handle = tjInitDecompress();
    for (auto _ : state) {
        std::vector<std::unique_ptr<unsigned char[]>> images;
        images.reserve(f.jpegs.size());
        for (const auto& jpeg : f.jpegs) {
            int width = 0, height = 0, subsampling = 0, colourspace = 0;
            if (tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace)) {
                state.SkipWithError(tjGetErrorStr2(handle));
                break;
            }
            std::unique_ptr<unsigned char[]> pixels(new unsigned char[std::size_t(width) * height * 4]);
            if (tjDecompress2(handle, jpeg.data(), jpeg.size(), pixels.get(), width, 0, height, TJPF_RGBA, 0)) {
                state.SkipWithError(tjGetErrorStr2(handle));
                break;
            }
            images.push_back(std::move(pixels));
        }
        benchmark::DoNotOptimize(images);
    }
    tjDestroy(handle);
    state.SetItemsProcessed(state.iterations() * kFrames);
}

BENCHMARK(BM_BuildBIFIndex)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareTurboJPEG)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the median real time of each benchmark for the comparison printed at the end.
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

// The resident memory now, from /proc (pages × page size), in KiB.
long residentKiB() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

void reportPeakMemory() {
    const Fixture& f = fixture();
    const long before = residentKiB();
    std::uint64_t pixelBytes = 0;
    {
        const auto bif = lumora::BIF::from(f.bif, lumora::BIFResolution::standard);
        for (const auto& thumbnail : bif->thumbnails) pixelBytes += thumbnail.value->bitmap().byteCount();
    }
    const long after = peakResidentKiB();
    const double grownMiB = static_cast<double>(after - before) / 1024.0;
    const double pixelMiB = static_cast<double>(pixelBytes) / (1024.0 * 1024.0);
    std::printf("BIF data: %zu bytes of %d JPEG frames, %u x %u\n", f.bif.size(), kFrames, kWidth, kHeight);
    std::printf("Resident memory before building the index: %.1f MiB; peak (getrusage ru_maxrss) after: %.1f MiB\n",
                static_cast<double>(before) / 1024.0, static_cast<double>(after) / 1024.0);
    std::printf(
        "Index build: peak above the resident memory before: %.1f MiB for %.1f MiB of decoded pixels (%.3fx)\n\n",
        grownMiB, pixelMiB, grownMiB / pixelMiB);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Memory first, before the timed runs raise the high-water mark.
    reportPeakMemory();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto index = reporter.medians.find("BM_BuildBIFIndex");
    const auto bare = reporter.medians.find("BM_BareTurboJPEG");
    if (index != reporter.medians.end() && bare != reporter.medians.end() && bare->second > 0) {
        const double ratio = index->second / bare->second;
        std::printf("\nBIF index / bare TurboJPEG (medians): %.3fx (goal within 1.10x): %s\n", ratio,
                    ratio <= 1.10 ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    return 0;
}
