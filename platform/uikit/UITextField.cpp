#include "uikit/UITextField.h"

#include <algorithm>
#include <any>
#include <cmath>
#include <map>

#include "coregraphics/CGContext.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIScreen.h"
#include "uikit/detail/FirstResponder.h"

namespace uikit {

// ---- The keyboard -----------------------------------------------------------------------------------------

namespace detail {

namespace {
int gChangeDepth = 0;
}  // namespace

FirstResponderChange::FirstResponderChange() {
    ++gChangeDepth;
}

FirstResponderChange::~FirstResponderChange() {
    if (--gChangeDepth == 0) SimulatedKeyboard::shared().firstResponderDidChange();
}

}  // namespace detail

SimulatedKeyboard& SimulatedKeyboard::shared() {
    static SimulatedKeyboard keyboard;
    return keyboard;
}

CGRect SimulatedKeyboard::frameFor(bool visible) const {
    CGRect screen = UIScreen::main()->bounds();
    CGFloat top = visible ? screen.maxY() - height_ : screen.maxY();
    return CGRect(screen.minX(), top, screen.width(), height_);
}

CGRect SimulatedKeyboard::frame() const {
    return frameFor(visible_);
}

void SimulatedKeyboard::post(const CGRect& begin, const CGRect& end) {
    std::map<std::string, std::any> info{{UIKeyboardFrameBeginUserInfoKey, begin},
                                         {UIKeyboardFrameEndUserInfoKey, end}};
    foundation::NotificationCenter::defaultCenter().post(UIKeyboardDidChangeFrameNotification, nullptr,
                                                         std::move(info));
}

void SimulatedKeyboard::setHeight(CGFloat height) {
    if (!(height >= 0) || height == height_) return;
    CGRect begin = frame();
    height_ = height;
    if (visible_) post(begin, frame());
}

void SimulatedKeyboard::firstResponderDidChange() {
    bool wanted = dynamic_cast<UITextField*>(detail::FirstResponder::current().get()) != nullptr;
    if (wanted == visible_) return;
    CGRect begin = frame();
    visible_ = wanted;
    post(begin, frame());
}

void SimulatedKeyboard::resetForTesting() {
    visible_ = false;
    height_ = defaultHeight;
}

// ---- UITextField ------------------------------------------------------------------------------------------

UITextField::UITextField(const CGRect& frame) : UIControl(frame) {
    setIsOpaque(false);
    setContentMode(ContentMode::redraw);
    setContentVerticalAlignment(ContentVerticalAlignment::center);
}

std::shared_ptr<UITextField> UITextField::create(const CGRect& frame) {
    return std::shared_ptr<UITextField>(new UITextField(frame));
}

void UITextField::contentDidChange() {
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

void UITextField::setText(std::optional<std::string> text) {
    text_ = text ? std::move(text) : std::string();
    contentDidChange();
}

std::optional<std::string> UITextField::placeholder() const {
    if (!attributedPlaceholder_) return std::nullopt;
    return attributedPlaceholder_->string();
}

void UITextField::setPlaceholder(std::optional<std::string> placeholder) {
    if (!placeholder) {
        attributedPlaceholder_.reset();
    } else {
        attributedPlaceholder_ =
            NSAttributedString(*placeholder, {{NSAttributedStringKey::font, effectiveFont()},
                                              {NSAttributedStringKey::foregroundColor, UIColor(0.7, 1.0)}});
    }
    contentDidChange();
}

void UITextField::setAttributedPlaceholder(std::optional<NSAttributedString> placeholder) {
    attributedPlaceholder_ = std::move(placeholder);
    contentDidChange();
}

void UITextField::setTextColor(std::optional<UIColor> color) {
    textColor_ = color;
    setNeedsDisplay();
}

void UITextField::setFont(std::optional<UIFont> font) {
    font_ = font;
    contentDidChange();
}

void UITextField::setTextAlignment(NSTextAlignment alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

void UITextField::setBorderStyle(BorderStyle style) {
    borderStyle_ = style;
    contentDidChange();
}

void UITextField::setIsSecureTextEntry(bool secure) {
    isSecureTextEntry_ = secure;
    setNeedsDisplay();
}

UIFont UITextField::effectiveFont() const {
    return font_ ? *font_ : UIFont::systemFont(17);
}

CGFloat UITextField::horizontalInset() const {
    switch (borderStyle_) {
        case BorderStyle::none:
            return 0;
        case BorderStyle::line:
        case BorderStyle::bezel:
            return 2;
        case BorderStyle::roundedRect:
            return 7;
    }
    return 0;
}

CGRect UITextField::textRect(const CGRect& forBounds) const {
    return forBounds.inset({0, horizontalInset(), 0, horizontalInset()});
}

CGRect UITextField::placeholderRect(const CGRect& forBounds) const {
    return textRect(forBounds);
}

CGRect UITextField::editingRect(const CGRect& forBounds) const {
    return textRect(forBounds);
}

// ---- First responder --------------------------------------------------------------------------------------

bool UITextField::canBecomeFirstResponder() const {
    return isEnabled() && window() != nullptr;
}

bool UITextField::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    auto keepAlive = sharedView();
    detail::FirstResponderChange change;
    if (!UIControl::becomeFirstResponder()) return false;
    isEditing_ = true;
    setNeedsDisplay();
    sendActions(Event::editingDidBegin());
    return true;
}

bool UITextField::resignFirstResponder() {
    auto keepAlive = sharedView();
    detail::FirstResponderChange change;
    bool was = isFirstResponder();
    if (!UIControl::resignFirstResponder()) return false;
    if (was && isEditing_) {
        isEditing_ = false;
        setNeedsDisplay();
        sendActions(Event::editingDidEnd());
    }
    return true;
}

// ---- Typing -----------------------------------------------------------------------------------------------

bool UITextField::simulateTyping(const std::string& text) {
    auto keepAlive = sharedView();
    if (!isFirstResponder() && !becomeFirstResponder()) return false;
    for (char32_t c : decodeUTF8(text)) {
        if (!isFirstResponder()) return false;  // an action ended editing
        text_ = text_.value_or(std::string()) + encodeUTF8(std::u32string(1, c));
        contentDidChange();
        sendActions(Event::editingChanged());
    }
    return true;
}

bool UITextField::simulateDeleteBackward() {
    auto keepAlive = sharedView();
    if (!isFirstResponder()) return false;
    auto chars = decodeUTF8(text_.value_or(std::string()));
    if (chars.empty()) return true;
    chars.pop_back();
    text_ = encodeUTF8(chars);
    contentDidChange();
    sendActions(Event::editingChanged());
    return true;
}

bool UITextField::simulateReturnKey() {
    auto keepAlive = sharedView();
    if (!isFirstResponder()) return false;
    bool hasActions = allControlEvents().intersects(Event::editingDidEndOnExit());
    sendActions(Event::editingDidEndOnExit());
    if (hasActions && isFirstResponder()) resignFirstResponder();
    return true;
}

// ---- Display ----------------------------------------------------------------------------------------------

CGSize UITextField::intrinsicContentSize() const {
    UIFont font = effectiveFont();
    CGFloat width = TextMetrics::width(text_.value_or(std::string()), font);
    if (attributedPlaceholder_) width = std::max(width, attributedPlaceholder_->size().width);
    CGFloat height = font.lineHeight();
    if (borderStyle_ == BorderStyle::roundedRect) height += 14;
    return CGSize{std::ceil(width) + 2 * horizontalInset(), height};
}

void UITextField::draw(const CGRect& rect) {
    (void)rect;
    drawBorder();
    std::string text = text_.value_or(std::string());
    if (!text.empty()) {
        std::string shown = text;
        if (isSecureTextEntry()) {
            std::string bullets;
            for (std::size_t i = 0; i < decodeUTF8(text).size(); ++i) bullets += "\u2022";
            shown = bullets;
        }
        NSParagraphStyle paragraph;
        paragraph.alignment = textAlignment_;
        NSAttributes attributes{{NSAttributedStringKey::font, effectiveFont()},
                                {NSAttributedStringKey::foregroundColor, textColor_.value_or(UIColor::label())},
                                {NSAttributedStringKey::paragraphStyle, paragraph}};
        CGRect r = isEditing_ ? editingRect(bounds()) : textRect(bounds());
        CGFloat lineHeight = effectiveFont().lineHeight();
        NSString(shown).draw(CGRect(r.minX(), r.midY() - lineHeight / 2, r.width(), lineHeight), attributes);
    } else if (attributedPlaceholder_ && attributedPlaceholder_->length() > 0) {
        auto attributes = attributedPlaceholder_->attributes(0);
        CGRect r = placeholderRect(bounds());
        CGFloat height = attributedPlaceholder_->size().height;
        NSString(attributedPlaceholder_->string())
            .draw(CGRect(r.minX(), r.midY() - height / 2, r.width(), height), attributes);
    }
}

void UITextField::drawBorder() const {
    const auto ctx = coregraphics::currentContext();
    if (!ctx || borderStyle_ == BorderStyle::none) return;
    // The outline runs half a line inside the bounds so that it is not cut by them.
    const CGRect outline = bounds().insetBy(0.5, 0.5);
    if (outline.isNull() || outline.isEmpty()) return;
    ctx->saveGState();
    ctx->setLineWidth(1);
    if (borderStyle_ == BorderStyle::roundedRect) {
        // A white field with a light grey rounded outline.
        const coregraphics::CGPath shape = coregraphics::CGPath::roundedRect(outline, 5, 5);
        ctx->setFillColor(UIColor::white().cgColor());
        ctx->addPath(shape);
        ctx->fillPath();
        ctx->setStrokeColor(UIColor(0.8, 1.0).cgColor());
        ctx->addPath(shape);
        ctx->strokePath();
    } else {
        ctx->setStrokeColor((borderStyle_ == BorderStyle::line ? UIColor(0.2, 1.0) : UIColor(0.6, 1.0)).cgColor());
        ctx->stroke(outline);
    }
    ctx->restoreGState();
}

void UITextField::touchesEnded(const UITouchSet& touches, const UIEvent* event) {
    auto keepAlive = sharedView();
    bool inside = !touches.empty() && bounds().contains(touches.front()->location(sharedView()));
    UIControl::touchesEnded(touches, event);
    if (inside && isEnabled() && !isFirstResponder()) becomeFirstResponder();
}

std::string UITextField::snapshotAttributes() const {
    std::string text = text_.value_or(std::string());
    std::string line = "text=\"" + (isSecureTextEntry() ? std::string(decodeUTF8(text).size(), '*') : text) + "\"";
    if (auto p = placeholder()) line += " placeholder=\"" + *p + "\"";
    if (isEditing_) line += " editing";
    return line;
}

rx::ControlProperty<std::optional<std::string>> UITextFieldReactive::text() const {
    return controlProperty<std::optional<std::string>>(
        UIControl::Event::allEditingEvents() | UIControl::Event::valueChanged(),
        [](UIControl& control) -> std::optional<std::string> {
            auto* field = dynamic_cast<UITextField*>(&control);
            return field ? field->text() : std::nullopt;
        },
        [](UIControl& control, const std::optional<std::string>& value) {
            if (auto* field = dynamic_cast<UITextField*>(&control)) field->setText(value);
        });
}

}  // namespace uikit
