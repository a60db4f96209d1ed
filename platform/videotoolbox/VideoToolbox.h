#pragma once

#include <cstdint>
#include <optional>

// Hardware decoding capabilities of the device.
//
// There is no decoder to ask on this platform, so the answer comes from configuration: H.264 ("avc1") is
// always decoded in hardware; HEVC ("hvc1") only when the environment variable LUMORA_HEVC_SUPPORTED is
// "1", "true" or "yes" (read on every call), or when a test or host has set an answer for it; every other
// codec is not. Answers set with `VTSetHardwareDecodeSupported` win over the environment.
namespace videotoolbox {

// A four-character codec code, big-endian: 'hvc1' is 0x68766331.
using CMVideoCodecType = std::uint32_t;

inline constexpr CMVideoCodecType kCMVideoCodecType_H264 = 0x61766331;  // "avc1"
inline constexpr CMVideoCodecType kCMVideoCodecType_HEVC = 0x68766331;  // "hvc1"

// Whether `codecType` is decoded in hardware. Safe from any thread.
bool VTIsHardwareDecodeSupported(CMVideoCodecType codecType);

// Sets the answer for one codec; std::nullopt puts back the configured answer.
void VTSetHardwareDecodeSupported(CMVideoCodecType codecType, std::optional<bool> supported);

}  // namespace videotoolbox
