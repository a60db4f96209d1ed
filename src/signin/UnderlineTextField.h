#pragma once

#include <memory>
#include <string>

#include "uikit/UIButton.h"
#include "uikit/UIImageView.h"
#include "uikit/UIStackView.h"
#include "uikit/UITextField.h"

namespace lumora {

// The single-line entry field of the sign-in screens: white text and caret, a grey placeholder, one thin
// white line along the bottom edge, and at the right end a small stack with a "Show"/"Hide" button (for
// fields that have been secure) and a tick that the owner shows once it has accepted the content.
// Main thread only.
class UnderlineTextField : public uikit::UITextField {
  public:
    static constexpr uikit::CGFloat verticalInset = 10.0;

    static std::shared_ptr<UnderlineTextField> create(const uikit::CGRect& frame = uikit::CGRect());

    // The validity tick ("ic31Tick" of the kit's bundle; empty when the bundle has none).
    const std::shared_ptr<uikit::UIImageView>& tickView() const { return tickView_; }
    // "Show" while the text is hidden, "Hide" while a once-secure field is readable; hidden on fields that
    // were never secure. Toggles on touch down.
    const std::shared_ptr<uikit::UIButton>& secureEntryToggleButton() const { return secureEntryToggleButton_; }
    // The horizontal stack holding the toggle button and the tick, pinned to the trailing edge.
    const std::shared_ptr<uikit::UIStackView>& accessoryView() const { return accessoryView_; }

    // Whether the owner accepted the content: the tick shows exactly while it is true.
    bool isValid() const { return isValid_; }
    void setIsValid(bool valid);
    // Whether the field has ever been secure (it never goes back).
    bool wasSecureTextEntry() const { return wasSecureTextEntry_; }

    // The prompt, in the system font of size 16 and grey (90, 96, 108), whatever the field's own font.
    void applyPlaceholder(const std::string& text);

    void setIsSecureTextEntry(bool secure) override;
    void toggleSecureEntry();

    // The bounds less `verticalInset` at the top and the bottom (never a negative size).
    uikit::CGRect placeholderRect(const uikit::CGRect& forBounds) const override;
    uikit::CGRect textRect(const uikit::CGRect& forBounds) const override;
    uikit::CGRect editingRect(const uikit::CGRect& forBounds) const override;

    // The platform's size with room for `verticalInset` above and below the text.
    uikit::CGSize intrinsicContentSize() const override;
    // The field, then the underline: a white 1-point line centred on the bottom edge.
    void draw(const uikit::CGRect& rect) override;
    // Once editing starts the accessory stack is brought to the front.
    bool becomeFirstResponder() override;

  protected:
    explicit UnderlineTextField(const uikit::CGRect& frame);

  private:
    void updateToggleButton();

    bool wasSecureTextEntry_ = false;
    bool isValid_ = false;
    std::shared_ptr<uikit::UIImageView> tickView_;
    std::shared_ptr<uikit::UIButton> secureEntryToggleButton_;
    std::shared_ptr<uikit::UIStackView> accessoryView_;
};

}  // namespace lumora
