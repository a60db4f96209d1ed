#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rx/Disposables.h"
#include "ui/ZuViewStyle.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"

namespace lumora {

struct ZuButtonState;

// The design-system kind of a button. Only `setting` and `favTeam` place image and title differently.
enum class AtomButtonType {
    primary,
    onboardingPrimary,
    secondary,
    onboardingSecondary,
    filter,
    radio,
    add,
    sportSeriesTile,
    teamTile,
    navigationCard,
    skip,
    remove,
    setting,
    favTeam,
    profile,
    unknown,
    onboardingSearch,
    settingScreen,
    searchIcon,
};

// The button of the sign-in screens: re-applies one style per control state whenever it is highlighted,
// selected or focused, shows a white spinner instead of its title while a request runs (`setLoading`),
// grows slightly while focused, and places image and title by its `atomButtonType`. Main thread only.
class ZuStateButton : public uikit::UIButton {
  public:
    static std::shared_ptr<ZuStateButton> create(const uikit::CGRect& frame = uikit::CGRect());

    // Per-state looks; for a state the first entry with that state wins. Empty by default.
    const std::vector<ZuButtonState>& states() const { return states_; }
    void setStates(std::vector<ZuButtonState> states);
    // The title kept while the spinner shows.
    const std::optional<std::string>& originalTitleText() const { return originalTitleText_; }
    void setOriginalTitleText(std::optional<std::string> text) { originalTitleText_ = std::move(text); }
    // Subscriptions an owner ties to the button's life.
    rx::DisposeBag& disposeBag() { return disposeBag_; }

    // The selection tick ("Tick_BA03" of the host application's bundle), made on first use. The button
    // sets whether it is hidden; placing it is the owner's business.
    const std::shared_ptr<uikit::UIImageView>& tickIndicatorImageView();
    // The white spinner shown while loading, a subview of the button.
    const std::shared_ptr<uikit::UIActivityIndicatorView>& activityIndicator() const { return activityIndicator_; }

    AtomButtonType atomButtonType() const { return atomButtonType_; }
    void setAtomButtonType(AtomButtonType type);

    // Applies the entry of the state the button is now in (highlighted, else selected, else focused or
    // normal) and, unless highlighted, shows the tick only while selected.
    void updateAppearance();
    // true: keeps the title, blanks it and spins the indicator at the centre; false: stops the indicator
    // and puts the kept title back. Asking for the state the button is already in does nothing, so a
    // second submission never loses the title.
    void setLoading(bool loading);
    bool isLoading() const { return isLoading_; }

    // As a platform button on a focus-driven device: focusable while enabled.
    bool canBecomeFocused() const override { return isEnabled(); }
    // Keeps the spinner in the middle while loading, whatever the size becomes.
    void layoutSubviews() override;
    void setIsHighlighted(bool highlighted) override;
    void setIsSelected(bool selected) override;
    void didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                        uikit::UIFocusAnimationCoordinator& coordinator) override;
    uikit::CGRect imageRect(const uikit::CGRect& forContentRect) const override;
    uikit::CGRect titleRect(const uikit::CGRect& forContentRect) const override;

    ~ZuStateButton() override;

  protected:
    explicit ZuStateButton(const uikit::CGRect& frame);

  private:
    const ZuButtonState* entry(uikit::UIControl::State state) const;
    void applyEntry(uikit::UIControl::State state);

    std::vector<ZuButtonState> states_;
    std::optional<std::string> originalTitleText_;
    rx::DisposeBag disposeBag_;
    std::shared_ptr<uikit::UIImageView> tickIndicatorImageView_;
    std::shared_ptr<uikit::UIActivityIndicatorView> activityIndicator_;
    AtomButtonType atomButtonType_ = AtomButtonType::unknown;
    bool isLoading_ = false;
};

// One entry of a button's per-state looks: the style applied while the button is in `buttonState`
// (normal, highlighted, selected or focused; a combined state never matches).
struct ZuButtonState {
    uikit::UIControl::State buttonState;
    ZuViewStyle<ZuStateButton> buttonStyle;
};

}  // namespace lumora
