#pragma once

// Internal to the toolkit: keys of the text caches, a set of parameters and a text, looked up without copying
// the text (`TextKeyView`). A parameters type gives `std::size_t hashOf(const Parameters&)` beside itself and
// an `operator==`.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace uikit::detail {

inline std::size_t hashMix(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
}

template <class Parameters>
struct TextKey {
    Parameters parameters;
    std::string text;
};

template <class Parameters>
struct TextKeyView {
    const Parameters& parameters;
    std::string_view text;
};

template <class Parameters>
struct TextKeyHash {
    using is_transparent = void;
    std::size_t operator()(const TextKeyView<Parameters>& key) const {
        return hashMix(std::hash<std::string_view>{}(key.text), hashOf(key.parameters));
    }
    std::size_t operator()(const TextKey<Parameters>& key) const {
        return (*this)(TextKeyView<Parameters>{key.parameters, key.text});
    }
};

template <class Parameters>
struct TextKeyEqual {
    using is_transparent = void;
    static TextKeyView<Parameters> view(const TextKey<Parameters>& key) { return {key.parameters, key.text}; }
    static TextKeyView<Parameters> view(const TextKeyView<Parameters>& key) { return key; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
        const TextKeyView<Parameters> x = view(a), y = view(b);
        return x.text == y.text && x.parameters == y.parameters;
    }
};

}  // namespace uikit::detail
