#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace uikit::layout::detail {

// A symbol of the solver's tableau: an external variable, a slack, an error or a dummy.
using Symbol = std::uint32_t;

// Coefficients closer to zero than this are zero.
constexpr double kEpsilon = 1.0e-8;

// A row of the tableau: basic = constant + Σ coefficient · symbol, the cells sorted by symbol. Rows are
// short (a constraint mentions a few symbols), so a sorted vector beats any map.
struct Row {
    std::vector<std::pair<Symbol, double>> cells;
    double constant = 0;

    double coefficientFor(Symbol s) const;
    // What a change did to the row's symbols.
    struct Changes {
        std::vector<Symbol> added;    // not in the row before, in it now
        std::vector<Symbol> removed;  // in the row before, cancelled out now
        void clear() {
            added.clear();
            removed.clear();
        }
    };

    void insert(Symbol s, double coefficient);
    // Adds `coefficient` times `other`.
    void insert(const Row& other, double coefficient, Changes* changes = nullptr);
    void remove(Symbol s);
    void reverseSign();
    // Rewrites `0 = row` as `s = …`.
    void solveFor(Symbol s);
    // Rewrites `lhs = row` as `rhs = …`.
    void solveFor(Symbol lhs, Symbol rhs);
    // Replaces `s` by `row` when `s` appears; returns whether it did. `s` itself is not listed as removed.
    bool substitute(Symbol s, const Row& row, Changes* changes = nullptr);
};

// One priority level of the objective: it holds a cell for every error symbol of the level's constraints, so
// it grows with the tree. Cells are hashed, so that a substitution costs the length of the row substituted
// and a look-up costs the same whatever the length of the objective. The arithmetic on each cell is the
// same as a tableau row's.
struct ObjectiveRow {
    std::unordered_map<Symbol, double> cells;
    double constant = 0;

    double coefficientFor(Symbol s) const;
    void insert(Symbol s, double coefficient);
    void insert(const Row& other, double coefficient);
    void remove(Symbol s);
    bool substitute(Symbol s, const Row& row);
};

}  // namespace uikit::layout::detail
