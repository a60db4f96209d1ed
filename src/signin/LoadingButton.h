#pragma once

#include <memory>
#include <optional>
#include <string>

#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIButton.h"

namespace lumora {

// A button with rounded corners (radius 4) that can show a spinner instead of its title while something
// runs, keeping the title to put back afterwards. The sign-in screens use `ZuStateButton`; this one is for
// hosts that want the same loading behaviour on a plain button. Main thread only.
class LoadingButton : public uikit::UIButton {
  public:
    static std::shared_ptr<LoadingButton> create(const uikit::CGRect& frame = uikit::CGRect());

    // A white spinner, made and added as a subview on first use.
    const std::shared_ptr<uikit::UIActivityIndicatorView>& activityIndicator();
    bool hasActivityIndicator() const { return activityIndicator_ != nullptr; }
    // The title kept while the spinner shows.
    const std::optional<std::string>& originalTitleText() const { return originalTitleText_; }
    void setOriginalTitleText(std::optional<std::string> text) { originalTitleText_ = std::move(text); }

    // true: keeps the title, blanks it and spins the indicator at the centre; false: stops the indicator
    // and puts the kept title back. Asking for the state the button is already in does nothing.
    void setLoading(bool loading);
    bool isLoading() const { return isLoading_; }

    // Keeps the spinner in the middle while loading, whatever the size becomes.
    void layoutSubviews() override;

  protected:
    explicit LoadingButton(const uikit::CGRect& frame);

  private:
    std::shared_ptr<uikit::UIActivityIndicatorView> activityIndicator_;
    std::optional<std::string> originalTitleText_;
    bool isLoading_ = false;
};

}  // namespace lumora
