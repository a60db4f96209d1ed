#pragma once

#include <concepts>
#include <expected>
#include <functional>
#include <string>
#include <typeinfo>
#include <utility>

#include "foundation/Error.h"
#include "ui/detail/TypeName.h"
#include "uikit/UIView.h"

namespace lumora {

// A style was given a view that is not of the class it configures.
struct ZuViewStyleError {
    std::string styleViewType;  // the class the style configures ("uikit::UILabel")
    std::string viewType;       // the class of the view it was given ("uikit::UIButton")

    // "The type of style is not compatible with the type of UIView."
    std::string localizedDescription() const;
    std::string domain() const { return "ZuViewStyleError"; }
};

// A style for views of one class: a closure that sets the look of such a view. The class is part of the
// type (`ZuViewStyle<uikit::UILabel>`), so a style can only be run on a view of that class or a subclass.
// Main thread only, as every view.
template <class View>
requires std::derived_from<View, uikit::UIView>
struct ZuViewStyle {
    using Styling = std::function<void(View&)>;

    Styling styling;

    explicit ZuViewStyle(Styling styling) : styling(std::move(styling)) {}

    // Runs the closure on `view` (nothing for a style without one).
    void apply(View& view) const {
        if (styling) styling(view);
    }
};

namespace detail {

struct ApplyStyle {
    template <class V, class S>
    requires std::derived_from<V, S>
    void operator()(V& view, const ZuViewStyle<S>& style) const { style.apply(view); }

    template <class V, class S>
    requires(std::derived_from<S, V> && !std::same_as<S, V>) [[nodiscard]] std::expected<void, foundation::Error>
    operator()(V& view, const ZuViewStyle<S>& style) const {
        if (auto* typed = dynamic_cast<S*>(&view)) {
            style.apply(*typed);
            return {};
        }
        return std::unexpected(foundation::Error(
            ZuViewStyleError{detail::qualifiedTypeName(typeid(S)), detail::qualifiedTypeName(typeid(view))}));
    }
};

}  // namespace detail

// `apply(view, style)`: styles a view.
//  - A view whose class is known when compiling to be the style's class or a subclass: the style always
//    fits and runs (no result). A view of an unrelated class does not compile.
//  - A view known only by a base class of the style's class (a `uikit::UIView&` that may be a label):
//    checked when running; a view of another class is left untouched and gives a `ZuViewStyleError`.
// An object rather than a function, so that calls never reach `std::apply` through the views' base classes.
inline constexpr detail::ApplyStyle apply{};

}  // namespace lumora
