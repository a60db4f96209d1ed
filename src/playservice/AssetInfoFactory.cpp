#include "playservice/AssetInfoFactory.h"

#include <cstdint>
#include <optional>

#include "adsupport/ASIdentifierManager.h"
#include "foundation/Bundle.h"
#include "kitfoundation/AppVersion.h"
#include "kitfoundation/Configuration.h"

namespace lumora {

namespace {

// One UTF-8 encoded character: its code point and byte length; nothing for a malformed sequence.
struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

std::optional<Decoded> decodeAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t cp = 0;
    if (lead < 0x80) return Decoded{lead, 1};
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    return Decoded{cp, length};
}

void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isWhitespaceOrNewline(char32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

char32_t lowerCodePoint(char32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
    if (cp < 0xC0) return cp;
    if (cp <= 0xDE && cp != 0xD7) return cp + 0x20;                // Latin-1 capitals
    if (cp >= 0x100 && cp <= 0x137 && cp != 0x130) return cp | 1;  // Latin Extended-A pairs: even capital, odd small
    if (cp >= 0x139 && cp <= 0x148) return (cp % 2 == 1) ? cp + 1 : cp;
    if (cp >= 0x14A && cp <= 0x177) return cp | 1;
    if (cp == 0x178) return 0xFF;
    if (cp >= 0x179 && cp <= 0x17E) return (cp % 2 == 1) ? cp + 1 : cp;
    if (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) return cp + 0x20;  // Greek
    if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;                 // Cyrillic
    if (cp >= 0x410 && cp <= 0x42F) return cp + 0x20;
    return cp;
}

}  // namespace

std::string AssetInfoFactory::trimmed(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        auto d = decodeAt(text, begin);
        if (!d || !isWhitespaceOrNewline(d->codePoint)) break;
        begin += d->length;
    }
    // From the end: walk back to the start of each character.
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        auto d = decodeAt(text, start);
        if (!d || start + d->length != end || !isWhitespaceOrNewline(d->codePoint)) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string AssetInfoFactory::lowercased(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto d = decodeAt(text, i);
        if (!d) {  // a malformed byte is kept as it is
            out += text[i++];
            continue;
        }
        if (d->codePoint == 0x130) {
            out += "i\u0307";  // capital I with dot above: "i" and a combining dot
        } else {
            appendUTF8(out, lowerCodePoint(d->codePoint));
        }
        i += d->length;
    }
    return out;
}

std::shared_ptr<AssetInfoFactory> AssetInfoFactory::create(DeviceInfo deviceInfo, bool hasHEVCCapability,
                                                           uikit::UIUserInterfaceIdiom userInterfaceIdiom) {
    return std::shared_ptr<AssetInfoFactory>(
        new AssetInfoFactory(std::move(deviceInfo), hasHEVCCapability, userInterfaceIdiom));
}

std::string AssetInfoFactory::deviceType(uikit::UIUserInterfaceIdiom idiom) {
    switch (idiom) {
        case uikit::UIUserInterfaceIdiom::phone:
            return "phone";
        case uikit::UIUserInterfaceIdiom::pad:
            return "tablet";
        case uikit::UIUserInterfaceIdiom::tv:
            return "tv";
        default:
            return "";
    }
}

AssetInfo AssetInfoFactory::makeAssetInfo(const std::string& assetId) const {
    const auto normalised = [](std::string_view text) { return lowercased(trimmed(text)); };

    AssetInfo info;
    info.assetId = assetId;
    info.application.name = ConfigurationKey(ConfigurationKey::playServiceAppName).hostValue().value_or("");
    info.application.version = normalised(AppVersion::current().text());
    info.application.appId = foundation::Bundle::main().bundleIdentifier().value_or("");

    info.device.id = deviceInfo_.identifier;
    info.device.type = deviceType(userInterfaceIdiom_);
    info.device.brand = normalised(deviceInfo_.manufacturer);
    info.device.model = normalised(deviceInfo_.internalModelName);

    info.os.name = normalised(deviceInfo_.systemName);
    info.os.version = normalised(deviceInfo_.systemVersion);

    info.player.name = deviceInfo_.systemName + "Player";
    info.player.version = deviceInfo_.systemName + "-" + deviceInfo_.systemVersion;

    info.capabilities.codecs = {"avc"};
    if (hasHEVCCapability_) info.capabilities.codecs.push_back("hevc");

    info.ads.optOut = true;
    info.ads.ifa = adsupport::ASIdentifierManager::shared().advertisingIdentifier().uuidString();
    info.ads.ifaType = "idfa";
    return info;
}

}  // namespace lumora
