#include "videotoolbox/VideoToolbox.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>

namespace videotoolbox {

namespace {

std::mutex& overridesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<CMVideoCodecType, bool>& overrides() {
    static auto* answers = new std::map<CMVideoCodecType, bool>();  // never destroyed: read until exit
    return *answers;
}

bool environmentSaysHEVC() {
    const char* value = std::getenv("LUMORA_HEVC_SUPPORTED");
    if (!value) return false;
    const std::string_view text(value);
    return text == "1" || text == "true" || text == "TRUE" || text == "yes" || text == "YES";
}

}  // namespace

bool VTIsHardwareDecodeSupported(CMVideoCodecType codecType) {
    {
        std::lock_guard lock(overridesMutex());
        const auto it = overrides().find(codecType);
        if (it != overrides().end()) return it->second;
    }
    switch (codecType) {
        case kCMVideoCodecType_H264:
            return true;
        case kCMVideoCodecType_HEVC:
            return environmentSaysHEVC();
        default:
            return false;
    }
}

void VTSetHardwareDecodeSupported(CMVideoCodecType codecType, std::optional<bool> supported) {
    std::lock_guard lock(overridesMutex());
    if (supported) {
        overrides()[codecType] = *supported;
    } else {
        overrides().erase(codecType);
    }
}

}  // namespace videotoolbox
