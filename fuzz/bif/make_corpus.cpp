// Writes the seed corpus of the BIF fuzz target into the folder given as the only argument: small valid
// indexes, the layouts the reader must refuse, truncations and hostile image sizes.
#include <cstdint>
#include <string>
#include <vector>

#include "CorpusFolder.h"
#include "imageio/ImageDecoder.h"
#include "imageio/testing/ClaimedSizeImages.h"
#include "keymoments/testing/BIFWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using imageio::testing::jpegClaiming;
using imageio::testing::pngClaiming;
using lumora::testing::BIFWriter;

Bytes png(std::uint8_t shade) {
    return *imageio::encodePNG(*imageio::Bitmap::filled(4, 3, {shade, 9, 9, 255}));
}
Bytes jpeg(std::uint8_t shade) {
    return *imageio::encodeJPEG(*imageio::Bitmap::filled(16, 8, {shade, 90, 9, 255}), 70);
}

BIFWriter writer(std::vector<std::pair<std::uint32_t, Bytes>> frames, std::int32_t separation = 10'000) {
    BIFWriter w;
    w.version = 0;
    w.framewiseSeparation = separation;
    w.frames = std::move(frames);
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    const fuzzing::CorpusFolder corpus(argc, argv);
    auto save = [&](const std::string& name, const Bytes& data) { corpus.save(name, data); };

    const Bytes three = writer({{0, png(10)}, {1, png(20)}, {2, png(30)}}).write();
    save("valid-png-three-frames.bif", three);
    save("valid-jpeg-two-frames.bif", writer({{0, jpeg(40)}, {5, jpeg(200)}}, 2000).write());
    save("valid-end-mark-first.bif", writer({}).write());
    auto reserved = writer({{3, png(7)}});
    reserved.reserved.fill(0xEE);
    reserved.version = -1;
    save("valid-reserved-bytes-set.bif", reserved.write());
    save("valid-duplicate-frame.bif", writer({{0, png(10)}, {1, png(20)}, {1, png(25)}}).write());
    save("valid-undecodable-image.bif", writer({{0, png(10)}, {1, Bytes{1, 2, 3, 4}}}).write());

    Bytes outOfOrder = writer({{1, png(10)}, {2, png(20)}}).write();
    std::swap_ranges(outOfOrder.begin() + 64, outOfOrder.begin() + 72, outOfOrder.begin() + 72);
    save("valid-index-out-of-order.bif", outOfOrder);

    Bytes wrongSignature = three;
    wrongSignature[4] = 0x0C;
    save("bad-signature.bif", wrongSignature);
    save("truncated-header.bif", Bytes(three.begin(), three.begin() + 40));
    save("truncated-index.bif", Bytes(three.begin(), three.begin() + 70));
    save("truncated-last-image.bif", Bytes(three.begin(), three.end() - 20));
    Bytes noEnd = three;
    BIFWriter::set32(noEnd, BIFWriter::entryPosition(3), 9);
    save("missing-end-of-index.bif", Bytes(noEnd.begin(), noEnd.begin() + 100));
    Bytes pastEnd = three;
    BIFWriter::set32(pastEnd, BIFWriter::entryPosition(1) + 4, 0xFFFFFFF0u);
    save("offset-past-end.bif", pastEnd);
    save("offsets-backwards.bif", writer({{0, png(10)}, {2, png(30)}, {1, png(20)}}).write());
    Bytes overlap = three;
    BIFWriter::set32(overlap, BIFWriter::entryPosition(0) + 4, 64);
    save("index-overlaps-images.bif", overlap);

    save("hostile-jpeg-size.bif", writer({{0, jpegClaiming(65000, 65000)}, {1, jpeg(50)}}).write());
    save("hostile-png-size.bif", writer({{0, pngClaiming(100000, 100000)}, {1, png(50)}}).write());
    save("hostile-total-size.bif", writer({{0, pngClaiming(1000, 1000)},
                                           {1, pngClaiming(1000, 1000)},
                                           {2, pngClaiming(1000, 1000)},
                                           {3, pngClaiming(1000, 1000)},
                                           {4, pngClaiming(1000, 1000)}})
                                       .write());
    auto negative = writer({{0xFFFFFFFEu, png(1)}}, -1);
    negative.numberOfImages = -5;
    save("hostile-header-numbers.bif", negative.write());
    return 0;
}
