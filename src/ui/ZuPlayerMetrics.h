#pragma once

#include <functional>

#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "uikit/UIGeometry.h"
#include "uikit/UITraitCollection.h"

namespace lumora {

// The sizes, spacings and settings of the player's views. A value: the live one is `shared()` (what
// `ZuPlayer::metrics()` gives), made once with the defaults on first use; a host reads it, changes fields
// in place or replaces it with `setShared`. A change affects only the views made after it.
// Main thread only.
struct ZuPlayerMetrics {
    // Points. The time label's font and the control buttons' title font.
    uikit::CGFloat defaultFontSize = 16.0;
    // Points. A host setting; the kit's views do not read it.
    uikit::CGFloat defaultTVEdgeBorder = 64.0;
    // Points between the slider row and the functional row of the controls.
    uikit::CGFloat lowerControlsVerticalPadding = 0;
    // Points. A host setting; the kit's views do not read it.
    uikit::CGFloat verboseViewHeight = 0;
    // Points. The default smallest size of a scrubbing thumbnail.
    uikit::CGSize bifThumbnailSize{195, 110};
    // The density the controls views start with.
    ZuPlayerControlsDisplayDensity defaultDisplayDensity = 2;
    // Seconds away (in the background) after which the player drops its item when the app is active again.
    double backgroundThreshold = 300.0;
    // Whether the controls keep clear of the safe area in a trait environment: by default true on phones
    // in landscape and on tablets, false on phones in portrait.
    std::function<bool(const uikit::UITraitCollection&)> insetsControlsLayoutMarginsFromSafeArea;

    // The live metrics, made with the defaults on first use; modifiable in place.
    static ZuPlayerMetrics& shared();
    static void setShared(ZuPlayerMetrics metrics);

  private:
    // Only the kit makes metrics with the defaults; a host starts from a copy of `shared()`.
    ZuPlayerMetrics();
};

}  // namespace lumora
