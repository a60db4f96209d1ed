#include "uikit/NSAttributedString.h"

#include <algorithm>

#include "uikit/NSStringDrawing.h"

namespace uikit {

const NSAttributedStringKey NSAttributedStringKey::font{"NSFont"};
const NSAttributedStringKey NSAttributedStringKey::foregroundColor{"NSColor"};
const NSAttributedStringKey NSAttributedStringKey::backgroundColor{"NSBackgroundColor"};
const NSAttributedStringKey NSAttributedStringKey::kern{"NSKern"};
const NSAttributedStringKey NSAttributedStringKey::paragraphStyle{"NSParagraphStyle"};

namespace {
template <class T>
const T* typed(const NSAttributes& attributes, const NSAttributedStringKey& key) {
    const auto it = attributes.find(key);
    return it == attributes.end() ? nullptr : std::get_if<T>(&it->second);
}
}  // namespace

const UIFont* fontAttribute(const NSAttributes& a) {
    return typed<UIFont>(a, NSAttributedStringKey::font);
}
const UIColor* foregroundColorAttribute(const NSAttributes& a) {
    return typed<UIColor>(a, NSAttributedStringKey::foregroundColor);
}
std::optional<CGFloat> kernAttribute(const NSAttributes& a) {
    const CGFloat* k = typed<CGFloat>(a, NSAttributedStringKey::kern);
    return k ? std::optional<CGFloat>(*k) : std::nullopt;
}
const NSParagraphStyle* paragraphStyleAttribute(const NSAttributes& a) {
    return typed<NSParagraphStyle>(a, NSAttributedStringKey::paragraphStyle);
}

NSAttributedString::NSAttributedString(const std::string& string, const NSAttributes& attributes)
    : chars_(decodeUTF8(string)), attributes_(chars_.size(), attributes) {}

std::string NSAttributedString::string() const {
    return encodeUTF8(chars_);
}

NSRange NSAttributedString::clamp(NSRange range) const {
    const std::size_t n = chars_.size();
    const std::size_t location = std::min(range.location, n);
    const std::size_t length = std::min(range.length, n - location);
    return {location, length};
}

NSAttributes NSAttributedString::attributes(std::size_t at, NSRange* effectiveRange) const {
    if (at >= chars_.size()) {
        if (effectiveRange) *effectiveRange = {chars_.size(), 0};
        return {};
    }
    if (effectiveRange) {
        std::size_t start = at, end = at + 1;
        while (start > 0 && attributes_[start - 1] == attributes_[at]) --start;
        while (end < chars_.size() && attributes_[end] == attributes_[at]) ++end;
        *effectiveRange = {start, end - start};
    }
    return attributes_[at];
}

std::optional<NSAttributeValue> NSAttributedString::attribute(const Key& key, std::size_t at) const {
    if (at >= chars_.size()) return std::nullopt;
    const auto it = attributes_[at].find(key);
    if (it == attributes_[at].end()) return std::nullopt;
    return it->second;
}

std::vector<NSAttributedString::Run> NSAttributedString::runs() const {
    std::vector<Run> out;
    for (std::size_t i = 0; i < chars_.size(); ++i) {
        if (!out.empty() && out.back().attributes == attributes_[i])
            ++out.back().range.length;
        else
            out.push_back({{i, 1}, attributes_[i]});
    }
    return out;
}

NSAttributedString NSAttributedString::attributedSubstring(NSRange from) const {
    const NSRange r = clamp(from);
    NSAttributedString out;
    out.chars_ = chars_.substr(r.location, r.length);
    out.attributes_.assign(attributes_.begin() + static_cast<std::ptrdiff_t>(r.location),
                           attributes_.begin() + static_cast<std::ptrdiff_t>(r.upperBound()));
    return out;
}

CGSize NSAttributedString::size() const {
    return NSString(string()).size(attributes_.empty() ? NSAttributes{} : attributes_.front());
}

void NSAttributedString::draw(const CGRect& in) const {
    NSString(string()).draw(in, attributes_.empty() ? NSAttributes{} : attributes_.front());
}

void NSAttributedString::draw(CGPoint at) const {
    NSString(string()).draw(at, attributes_.empty() ? NSAttributes{} : attributes_.front());
}

CGRect NSAttributedString::boundingRect(CGSize with, unsigned options) const {
    return NSString(string()).boundingRect(with, options, attributes_.empty() ? NSAttributes{} : attributes_.front());
}

void NSMutableAttributedString::addAttribute(const Key& name, const NSAttributeValue& value, NSRange range) {
    const NSRange r = clamp(range);
    for (std::size_t i = r.location; i < r.upperBound(); ++i) attributes_[i].insert_or_assign(name, value);
}

void NSMutableAttributedString::addAttributes(const NSAttributes& attributes, NSRange range) {
    for (const auto& [key, value] : attributes) addAttribute(key, value, range);
}

void NSMutableAttributedString::setAttributes(const NSAttributes& attributes, NSRange range) {
    const NSRange r = clamp(range);
    for (std::size_t i = r.location; i < r.upperBound(); ++i) attributes_[i] = attributes;
}

void NSMutableAttributedString::removeAttribute(const Key& name, NSRange range) {
    const NSRange r = clamp(range);
    for (std::size_t i = r.location; i < r.upperBound(); ++i) attributes_[i].erase(name);
}

void NSMutableAttributedString::append(const NSAttributedString& other) {
    // Read through the public interface: `other` may be this very string.
    const NSAttributedString copy = other;
    const std::u32string chars = decodeUTF8(copy.string());
    for (std::size_t i = 0; i < chars.size(); ++i) {
        chars_.push_back(chars[i]);
        attributes_.push_back(copy.attributes(i));
    }
}

void NSMutableAttributedString::replaceCharacters(NSRange in, const std::string& with) {
    const NSRange r = clamp(in);
    NSAttributes inherited;
    if (r.length > 0)
        inherited = attributes_[r.location];
    else if (r.location > 0)
        inherited = attributes_[r.location - 1];
    else if (!attributes_.empty())
        inherited = attributes_.front();
    const std::u32string replacement = decodeUTF8(with);
    chars_.replace(r.location, r.length, replacement);
    attributes_.erase(attributes_.begin() + static_cast<std::ptrdiff_t>(r.location),
                      attributes_.begin() + static_cast<std::ptrdiff_t>(r.upperBound()));
    attributes_.insert(attributes_.begin() + static_cast<std::ptrdiff_t>(r.location), replacement.size(), inherited);
}

}  // namespace uikit
