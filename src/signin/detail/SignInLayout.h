#pragma once

#include <functional>
#include <memory>
#include <string>

#include "uikit/UIImage.h"
#include "uikit/UIScrollView.h"
#include "uikit/UITraitCollection.h"
#include "uikit/UIView.h"
#include "uikit/UIViewController.h"

namespace lumora::signin_detail {

// The image `name` of the kit's bundle at the main screen's scale; none when the bundle has no such image.
std::shared_ptr<uikit::UIImage> kitImage(const std::string& name);

// Where the content column starts below the scroll view's top, and its share of the root view's width:
// 0.9 for a compact width, 0.5 otherwise; 250 points down when both size classes are regular, 55 otherwise
// (a phone on its side, though regular in width, has no room to start lower).
struct ColumnMetrics {
    uikit::CGFloat top;
    uikit::CGFloat widthFactor;
};
ColumnMetrics columnMetrics(const uikit::UITraitCollection& traits);

// Adds `content` to `scroll` as the screens' content column: `top` below the scroll view's top, as wide
// as `root` × `widthFactor`, in the middle of the visible width, and as high as the scroll view less `top`
// unless its content needs more (that height and its bottom on the content's bottom at priority 749, below
// the fields' resistance to compression; its sides on the content's at 250).
void placeContentColumn(const std::shared_ptr<uikit::UIView>& root, const std::shared_ptr<uikit::UIScrollView>& scroll,
                        const std::shared_ptr<uikit::UIView>& content, ColumnMetrics metrics);

// Presents an alert titled `title` with `message` and one "OK" action (default style) from `presenter`,
// animated. `onConfirm` runs once the viewer tapped OK and the alert has gone.
void presentOKAlert(uikit::UIViewController& presenter, const std::string& title, const std::string& message,
                    std::function<void()> onConfirm = nullptr);

}  // namespace lumora::signin_detail
