#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/NotificationCenter.h"
#include "uikit/NSAttributedString.h"
#include "uikit/UIColor.h"
#include "uikit/UIControl.h"
#include "uikit/UIFont.h"

namespace uikit {

// Posted on the default notification centre, with no object, each time the simulated keyboard's frame
// changes: its user info holds the frames before and after, each a `coregraphics::CGRect` (in an
// `std::any`) in screen coordinates, under the keys below.
inline const foundation::Notification::Name UIKeyboardDidChangeFrameNotification =
    "UIKeyboardDidChangeFrameNotification";
inline const std::string UIKeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline const std::string UIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";

// The on-screen keyboard, simulated. It is up while a text field is first responder: when a text field
// becomes first responder the keyboard rises to the bottom of the main screen (`height` points, 291 by
// default), and when no text field is first responder any more it goes below the screen; each move posts
// `UIKeyboardDidChangeFrameNotification` synchronously. Handing first responder from one text field to
// another keeps it up and posts nothing.
class SimulatedKeyboard {
  public:
    static constexpr CGFloat defaultHeight = 291;

    static SimulatedKeyboard& shared();

    bool isVisible() const { return visible_; }
    // Where the keyboard is now (screen coordinates): at the bottom of the screen when visible, just
    // below it otherwise.
    CGRect frame() const;
    CGFloat height() const { return height_; }
    // A change while the keyboard is up moves it (and posts the notification).
    void setHeight(CGFloat height);

    // Internal: the first responder changed.
    void firstResponderDidChange();
    void resetForTesting();

  private:
    SimulatedKeyboard() = default;
    CGRect frameFor(bool visible) const;
    void post(const CGRect& begin, const CGRect& end);

    bool visible_ = false;
    CGFloat height_ = defaultHeight;
};

class UITextField;

// The Rx face of a text field: `field->rx().text()`, plus the control events.
class UITextFieldReactive : public UIControlReactive {
  public:
    using UIControlReactive::UIControlReactive;
    // The text now, then after every editing event and value change; the sink sets the text (which sends
    // no event).
    rx::ControlProperty<std::optional<std::string>> text() const;
};

// A single-line text entry.
//
// Editing: `becomeFirstResponder()` (refused outside a window or when disabled) starts editing — the
// previous first responder resigns, `editingDidBegin` is sent and the simulated keyboard rises;
// `resignFirstResponder()` ends it with `editingDidEnd`. A touch lifting inside the field makes it first
// responder, as a tap would.
//
// Typing (test driver): `simulateTyping(text)` makes the field first responder when it is not, then inserts
// the characters one by one, sending `editingChanged` after each; `simulateDeleteBackward()` removes the last
// character and sends `editingChanged`; `simulateReturnKey()` sends `editingDidEndOnExit` and, when that
// event has actions and the field is still first responder afterwards, resigns (as the platform does).
// Setting `text` in code sends nothing.
//
// Rectangles: with border style none the text, placeholder and editing rectangles are the bounds; other
// border styles inset them by 7 points horizontally (line, bezel: 2). Drawing: the border (rounded rectangle:
// a white field with a light grey rounded outline; line: a dark outline; bezel: a grey one), then the text in
// `textRect` (secure entry draws one "•" per character), or the placeholder in `placeholderRect` while the text is
// empty. Intrinsic size: the wider of text and placeholder (plus the insets) by the font's line height
// (plus 2 × 7 for the rounded-rectangle style).
class UITextField : public UIControl {
  public:
    enum class BorderStyle { none = 0, line = 1, bezel = 2, roundedRect = 3 };
    enum class UIKeyboardType {
        default_ = 0,
        asciiCapable = 1,
        numbersAndPunctuation = 2,
        URL = 3,
        numberPad = 4,
        phonePad = 5,
        namePhonePad = 6,
        emailAddress = 7,
        decimalPad = 8,
        twitter = 9,
        webSearch = 10,
        asciiCapableNumberPad = 11,
    };
    enum class UIReturnKeyType {
        default_ = 0,
        go = 1,
        google = 2,
        join = 3,
        next = 4,
        route = 5,
        search = 6,
        send = 7,
        yahoo = 8,
        done = 9,
        emergencyCall = 10,
        continue_ = 11,
    };
    enum class UITextAutocorrectionType { default_ = 0, no = 1, yes = 2 };
    enum class UITextAutocapitalizationType { none = 0, words = 1, sentences = 2, allCharacters = 3 };

    // Text content types (the platform's raw values).
    struct UITextContentType {
        std::string rawValue;
        static UITextContentType emailAddress() { return {"emailAddress"}; }
        static UITextContentType password() { return {"password"}; }
        static UITextContentType newPassword() { return {"newPassword"}; }
        static UITextContentType username() { return {"username"}; }
        static UITextContentType oneTimeCode() { return {"one-time-code"}; }
        static UITextContentType name() { return {"name"}; }
        friend bool operator==(const UITextContentType&, const UITextContentType&) = default;
    };

    static std::shared_ptr<UITextField> create(const CGRect& frame = CGRect());

    // ---- Content ------------------------------------------------------------------------------------
    // Never nothing once read: no text reads as "".
    std::optional<std::string> text() const { return text_; }
    void setText(std::optional<std::string> text);
    std::optional<std::string> placeholder() const;
    void setPlaceholder(std::optional<std::string> placeholder);
    // Setting it sets `placeholder` to its string; setting `placeholder` gives it the default attributes
    // (the field's font, light grey).
    std::optional<NSAttributedString> attributedPlaceholder() const { return attributedPlaceholder_; }
    void setAttributedPlaceholder(std::optional<NSAttributedString> placeholder);

    std::optional<UIColor> textColor() const { return textColor_; }
    void setTextColor(std::optional<UIColor> color);
    std::optional<UIFont> font() const { return font_; }
    void setFont(std::optional<UIFont> font);
    NSTextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(NSTextAlignment alignment);
    BorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(BorderStyle style);

    virtual bool isSecureTextEntry() const { return isSecureTextEntry_; }
    virtual void setIsSecureTextEntry(bool secure);
    UIKeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(UIKeyboardType type) { keyboardType_ = type; }
    std::optional<UITextContentType> textContentType() const { return textContentType_; }
    void setTextContentType(std::optional<UITextContentType> type) { textContentType_ = std::move(type); }
    UIReturnKeyType returnKeyType() const { return returnKeyType_; }
    void setReturnKeyType(UIReturnKeyType type) { returnKeyType_ = type; }
    UITextAutocorrectionType autocorrectionType() const { return autocorrectionType_; }
    void setAutocorrectionType(UITextAutocorrectionType type) { autocorrectionType_ = type; }
    UITextAutocapitalizationType autocapitalizationType() const { return autocapitalizationType_; }
    void setAutocapitalizationType(UITextAutocapitalizationType type) { autocapitalizationType_ = type; }

    bool isEditing() const { return isEditing_; }

    // ---- Rectangles (overridable) -------------------------------------------------------------------
    virtual CGRect textRect(const CGRect& forBounds) const;
    virtual CGRect placeholderRect(const CGRect& forBounds) const;
    virtual CGRect editingRect(const CGRect& forBounds) const;

    // ---- First responder ----------------------------------------------------------------------------
    bool canBecomeFirstResponder() const override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    // ---- Typing (test driver) -----------------------------------------------------------------------
    // False when the field cannot become first responder (nothing is typed then).
    bool simulateTyping(const std::string& text);
    bool simulateDeleteBackward();
    bool simulateReturnKey();

    CGSize intrinsicContentSize() const override;
    void draw(const CGRect& rect) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    std::string snapshotAttributes() const override;

    UITextFieldReactive rx() { return UITextFieldReactive(sharedControl()); }

  protected:
    explicit UITextField(const CGRect& frame);

  private:
    UIFont effectiveFont() const;
    CGFloat horizontalInset() const;
    void drawBorder() const;
    void contentDidChange();

    std::optional<std::string> text_ = std::string();
    std::optional<NSAttributedString> attributedPlaceholder_;
    std::optional<UIColor> textColor_ = UIColor::label();
    std::optional<UIFont> font_;
    NSTextAlignment textAlignment_ = NSTextAlignment::natural;
    BorderStyle borderStyle_ = BorderStyle::none;
    bool isSecureTextEntry_ = false;
    UIKeyboardType keyboardType_ = UIKeyboardType::default_;
    std::optional<UITextContentType> textContentType_;
    UIReturnKeyType returnKeyType_ = UIReturnKeyType::default_;
    UITextAutocorrectionType autocorrectionType_ = UITextAutocorrectionType::default_;
    UITextAutocapitalizationType autocapitalizationType_ = UITextAutocapitalizationType::none;
    bool isEditing_ = false;
};

}  // namespace uikit
