// Fuzz target for the BIF reader: any bytes must give an index or a clear error, never a crash, an
// out-of-bounds read or an unbounded allocation; a built index must keep its invariants.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>

#include "keymoments/BIF.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "BIF invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Small limits keep every run quick; the checks against them are the same as with the defaults.
    const lumora::BIF::Limits limits{.maxPixelsPerImage = 1u << 20, .maxTotalPixels = 1u << 22};
    const auto result = lumora::BIF::from(std::span(data, size), lumora::BIFResolution::standard, limits);
    if (!result) {
        check(result.error().is<lumora::BIFParseError>(), "a failure is a BIFParseError");
        check(!result.error().localizedDescription().empty(), "a failure has a description");
        return 0;
    }
    const lumora::BIF& bif = *result;
    check(size >= 68, "an index needs the header and an end mark");
    std::uint64_t pixels = 0;
    for (std::size_t i = 0; i < bif.thumbnails.size(); ++i) {
        const auto& thumbnail = bif.thumbnails[i];
        check(thumbnail.key >= 0 && thumbnail.key < 0xFFFFFFFFll, "keys are frame numbers");
        check(i == 0 || bif.thumbnails[i - 1].key < thumbnail.key, "keys ascend and are unique");
        if (thumbnail.value) {
            check(thumbnail.value->pixelWidth() > 0 && thumbnail.value->pixelHeight() > 0, "images are not empty");
            pixels += std::uint64_t{thumbnail.value->pixelWidth()} * thumbnail.value->pixelHeight();
            check(thumbnail.value->bitmap().bytes().size() == thumbnail.value->bitmap().byteCount(), "pixels held");
        }
    }
    check(pixels <= limits.maxTotalPixels, "decoded pixels stay within the limit");
    check(bif.allImages().size() == bif.thumbnails.size(), "one image per thumbnail");

    // Lookups with fixed awkward times and with the last 8 bytes of the input as a time.
    double fromInput = 0;
    if (size >= 8) std::memcpy(&fromInput, data + size - 8, 8);
    for (double seconds : {0.0, -0.5, 20.0, 29.9, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), fromInput}) {
        const auto image = bif.image(seconds);
        if (image) check(bif.framewiseSeparation > 0, "no lookup without a positive separation");
    }
    return 0;
}
