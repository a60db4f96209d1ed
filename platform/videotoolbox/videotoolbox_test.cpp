#include <gtest/gtest.h>

#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "videotoolbox/VideoToolbox.h"

using namespace videotoolbox;

TEST(VideoToolbox, HEVCFollowsConfigurationAndOverrides) {
    dispatch::testing::EnvironmentScope env;
    const dispatch::testing::RestoreOnExit configuredAnswers([] {
        VTSetHardwareDecodeSupported(kCMVideoCodecType_HEVC, std::nullopt);
        VTSetHardwareDecodeSupported(kCMVideoCodecType_H264, std::nullopt);
    });
    env.unset("LUMORA_HEVC_SUPPORTED");
    EXPECT_FALSE(VTIsHardwareDecodeSupported(kCMVideoCodecType_HEVC));
    EXPECT_TRUE(VTIsHardwareDecodeSupported(kCMVideoCodecType_H264));
    EXPECT_FALSE(VTIsHardwareDecodeSupported(0x61703468));  // "ap4h"

    env.set("LUMORA_HEVC_SUPPORTED", "1");
    EXPECT_TRUE(VTIsHardwareDecodeSupported(kCMVideoCodecType_HEVC));
    env.set("LUMORA_HEVC_SUPPORTED", "0");
    EXPECT_FALSE(VTIsHardwareDecodeSupported(kCMVideoCodecType_HEVC));

    VTSetHardwareDecodeSupported(kCMVideoCodecType_HEVC, true);
    EXPECT_TRUE(VTIsHardwareDecodeSupported(kCMVideoCodecType_HEVC));
    VTSetHardwareDecodeSupported(kCMVideoCodecType_H264, false);
    EXPECT_FALSE(VTIsHardwareDecodeSupported(kCMVideoCodecType_H264));

    VTSetHardwareDecodeSupported(kCMVideoCodecType_HEVC, std::nullopt);
    VTSetHardwareDecodeSupported(kCMVideoCodecType_H264, std::nullopt);
    EXPECT_FALSE(VTIsHardwareDecodeSupported(kCMVideoCodecType_HEVC));
    EXPECT_TRUE(VTIsHardwareDecodeSupported(kCMVideoCodecType_H264));
}
