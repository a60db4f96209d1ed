#pragma once

// Writes BIF data for tests, benchmarks and seed corpora: the header, one index entry per frame in the
// order given, the end-of-index entry (whose offset is the length of the data), then the images in the
// same order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace lumora::testing {

struct BIFWriter {
    std::int32_t version = 0;
    // Written as given; when not set, the number of frames.
    std::optional<std::int32_t> numberOfImages;
    std::int32_t framewiseSeparation = 1000;
    // Header bytes 20-63.
    std::array<std::uint8_t, 44> reserved{};
    // Frame number and image bytes, in index order.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> frames;

    static void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    static void set32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    // Where the index entry `i` starts (its frame number; the offset follows 4 bytes later).
    static constexpr std::size_t entryPosition(std::size_t i) { return 64 + 8 * i; }
    // Where the images start.
    std::size_t imagesStart() const { return entryPosition(frames.size() + 1); }

    std::vector<std::uint8_t> write() const {
        std::vector<std::uint8_t> out{0x89, 0x42, 0x49, 0x46, 0x0D, 0x0A, 0x1A, 0x0A};
        put32(out, static_cast<std::uint32_t>(version));
        put32(out, static_cast<std::uint32_t>(numberOfImages.value_or(static_cast<std::int32_t>(frames.size()))));
        put32(out, static_cast<std::uint32_t>(framewiseSeparation));
        out.insert(out.end(), reserved.begin(), reserved.end());
        std::size_t offset = imagesStart();
        for (const auto& [frame, bytes] : frames) {
            put32(out, frame);
            put32(out, static_cast<std::uint32_t>(offset));
            offset += bytes.size();
        }
        put32(out, 0xFFFFFFFFu);
        put32(out, static_cast<std::uint32_t>(offset));
        for (const auto& frame : frames) out.insert(out.end(), frame.second.begin(), frame.second.end());
        return out;
    }
};

}  // namespace lumora::testing
