#pragma once

#include <concepts>
#include <expected>
#include <memory>
#include <string>
#include <typeinfo>

#include "foundation/Error.h"
#include "ui/detail/TypeName.h"
#include "uikit/UICollectionView.h"

namespace lumora {

// A collection-view cell class that can be registered and dequeued by its class: it makes itself with
// `create(frame)`.
template <class Cell>
concept Reusable = std::derived_from<Cell, uikit::UICollectionViewCell> && requires(const uikit::CGRect& frame) {
    { Cell::create(frame) } -> std::convertible_to<std::shared_ptr<uikit::UICollectionViewCell>>;
};

// The reuse identifier of a cell class: its own static `reuseIdentifier()` when it declares one, else its
// class name without namespaces ("ZuKeyMomentsGroupViewCell").
template <Reusable Cell>
std::string reuseIdentifier() {
    if constexpr (requires {
                      { Cell::reuseIdentifier() } -> std::convertible_to<std::string>;
                  }) {
        return Cell::reuseIdentifier();
    } else {
        return detail::unqualifiedTypeName(typeid(Cell));
    }
}

// A dequeue that did not give a cell of the class asked for: the class was never registered with the
// collection view, or another class was registered under its identifier.
struct ReusableError {
    std::string reuseIdentifier;
    // "Failed to dequeue cell with identifier " + the identifier.
    std::string localizedDescription() const { return "Failed to dequeue cell with identifier " + reuseIdentifier; }
    std::string domain() const { return "ReusableError"; }
};

// `register(cellType:)`: registers the class under its reuse identifier.
template <Reusable Cell>
void register_(uikit::UICollectionView& collectionView) {
    collectionView.registerForCellWithReuseIdentifier(
        [](const uikit::CGRect& frame) -> std::shared_ptr<uikit::UICollectionViewCell> { return Cell::create(frame); },
        reuseIdentifier<Cell>());
}

// `dequeueReusableCell(for:cellType:)`: a reused or new cell of the class, or a `ReusableError` when the
// collection view has none to give (the collection view also logs why).
template <Reusable Cell>
[[nodiscard]] std::expected<std::shared_ptr<Cell>, foundation::Error> dequeueReusableCell(
    uikit::UICollectionView& collectionView, const uikit::IndexPath& for_) {
    const std::string identifier = reuseIdentifier<Cell>();
    if (auto cell = std::dynamic_pointer_cast<Cell>(collectionView.dequeueReusableCell(identifier, for_))) return cell;
    return std::unexpected(foundation::Error(ReusableError{identifier}));
}

}  // namespace lumora
