#include "signin/detail/SignInLayout.h"

#include "kitfoundation/KitBundle.h"
#include "ui/ZuPlayerKitAssetInfo.h"
#include "uikit/UIAlertController.h"

namespace lumora::signin_detail {

std::shared_ptr<uikit::UIImage> kitImage(const std::string& name) {
    return ZuPlayerKitAssetInfo<uikit::UIImage>(name, KitBundle::shared()).image();
}

ColumnMetrics columnMetrics(const uikit::UITraitCollection& traits) {
    using uikit::UIUserInterfaceSizeClass;
    const bool compactWidth = traits.horizontalSizeClass == UIUserInterfaceSizeClass::compact;
    // A phone on its side is wide enough for a regular width but has no height to start 250 points down.
    const bool compactHeight = traits.verticalSizeClass == UIUserInterfaceSizeClass::compact;
    return {compactWidth || compactHeight ? 55.0 : 250.0, compactWidth ? 0.9 : 0.5};
}

void placeContentColumn(const std::shared_ptr<uikit::UIView>& root, const std::shared_ptr<uikit::UIScrollView>& scroll,
                        const std::shared_ptr<uikit::UIView>& content, ColumnMetrics metrics) {
    scroll->addSubview(content);
    content->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
        make.top().equalTo(scroll->snp().top()).offset(metrics.top);
        make.leading().trailing().equalTo(scroll).priority(uikit::ConstraintPriority::low());
        make.centerX().equalTo(scroll);
        // Constraints to a scroll view's centre are read against its content, which this column itself
        // sizes; centring on the root view too keeps the column in the middle of what the viewer sees.
        make.centerX().equalTo(root);
        make.width().equalTo(root->snp().width()).multipliedBy(metrics.widthFactor);
        make.bottom().equalTo(scroll->snp().bottom()).priority(uikit::ConstraintPriority::high() - 1);
        // As high as what the scroll view shows below `top`, unless the content needs more (a phone on its
        // side): then the column grows and scrolls rather than crushing its fields into each other.
        make.height()
            .equalTo(scroll->snp().height())
            .offset(-metrics.top)
            .priority(uikit::ConstraintPriority::high() - 1);
    });
}

void presentOKAlert(uikit::UIViewController& presenter, const std::string& title, const std::string& message,
                    std::function<void()> onConfirm) {
    auto alert = uikit::UIAlertController::create(title, message, uikit::UIAlertController::Style::alert);
    alert->addAction(uikit::UIAlertAction::create("OK", uikit::UIAlertAction::Style::default_,
                                                  [onConfirm = std::move(onConfirm)](uikit::UIAlertAction&) {
                                                      if (onConfirm) onConfirm();
                                                  }));
    presenter.presentAnimated(alert, true);
}

}  // namespace lumora::signin_detail
