#pragma once

#include "ui/ZuViewStyle.h"
#include "uikit/UIControl.h"
#include "uikit/UIEdgeInsets.h"
#include "uikit/UIGeometry.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UISegmentedControl.h"

namespace lumora {

// The default look of the player's control views. Values: a view copies the one it needs when it is made.
// Main thread only.
struct ZuStyleManager {
    // The playback-speed indicator: clear background; titles in the kit's light grey, system font 25, at
    // alpha 0.5 and regular weight normally and at full alpha and bold when selected; 60 points high.
    ZuViewStyle<uikit::UISegmentedControl> playbackSpeedIndicator;
    // The time label: white, monospaced-digit system font of the live metrics' `defaultFontSize` (read
    // when the style is applied), regular; it neither grows nor shrinks horizontally (hugging and
    // compression resistance 1000).
    ZuViewStyle<uikit::UILabel> timeLabel;
    // The error label: white, centred, any number of lines, system font 16 regular; hugging and compression
    // resistance 1000 horizontally.
    ZuViewStyle<uikit::UILabel> errorLabelStyle;

    // A style value with the defaults above.
    ZuStyleManager();
    // The shared default value, made once.
    static const ZuStyleManager& default_();

    // The key-moment marker's look, made once: tint white 0.8 at scale 1 normally; white at scale 1.3 in
    // x and y while the control is selected or highlighted (the scale is the view's transform).
    static const ZuViewStyle<uikit::UIControl>& keyMomentItemStyle();

    // The scrubbing thumbnails' sizes and look.
    struct Thumbnails {
        // Width over height of a thumbnail.
        uikit::CGFloat aspectRatio = 16.0 / 9.0;
        // The live metrics' `bifThumbnailSize` when the value is made (195 x 110 unless the host changed it).
        uikit::CGSize minimumSingleThumbnailSize;
        uikit::CGFloat chainedThumbnailsCollectionViewHeight = 160;
        uikit::UIEdgeInsets chainedThumbnailsLayoutMargins{12, 0, 34, 0};
        uikit::UIEdgeInsets chainedThumbnailsCellLayoutMargins{4, 64.0 / 9.0, 4, 64.0 / 9.0};
        // A border in the view's tint colour, 2 points wide, with corners of radius 4.
        ZuViewStyle<uikit::UIImageView> thumbnailImageView;

        // A value with the defaults; reads the live metrics.
        Thumbnails();
        // The default value, made once on first use.
        static const Thumbnails& default_();
        // The process-wide value the thumbnail views read: a copy of the default made on first use.
        static Thumbnails& shared();
    };

    // The key-moment markers' sizes (points).
    struct KeyMoments {
        uikit::CGSize itemSize{60, 66};
        uikit::CGFloat bubbleHeightFactor = 0.55;
        uikit::CGSize anchorSize{6, 6};
        uikit::CGFloat keyMomentsGroupViewHeight = 40;
        uikit::CGFloat keyMomentsGroupViewBottomPadding = 10;
        uikit::UIEdgeInsets edgeInsets{15, 15, 15, 15};

        // The default value, made once on first use.
        static const KeyMoments& default_();
    };
};

}  // namespace lumora
