#include "uikit/layout/SolverRows.h"

#include <algorithm>
#include <cmath>

namespace uikit::layout::detail {

namespace {

bool nearZero(double v) {
    return std::fabs(v) < kEpsilon;
}

auto findCell(std::vector<std::pair<Symbol, double>>& cells, Symbol s) {
    return std::lower_bound(cells.begin(), cells.end(), s,
                            [](const std::pair<Symbol, double>& cell, Symbol key) { return cell.first < key; });
}

}  // namespace

// ---- Row ---------------------------------------------------------------------------------------

double Row::coefficientFor(Symbol s) const {
    auto it = std::lower_bound(cells.begin(), cells.end(), s,
                               [](const std::pair<Symbol, double>& cell, Symbol key) { return cell.first < key; });
    return (it != cells.end() && it->first == s) ? it->second : 0.0;
}

void Row::insert(Symbol s, double coefficient) {
    auto it = findCell(cells, s);
    if (it != cells.end() && it->first == s) {
        it->second += coefficient;
        if (nearZero(it->second)) cells.erase(it);
    } else if (!nearZero(coefficient)) {
        cells.insert(it, {s, coefficient});
    }
}

void Row::insert(const Row& other, double coefficient, Changes* changes) {
    constant += other.constant * coefficient;
    if (other.cells.empty()) return;
    // Merged into a buffer kept from merge to merge, which then trades places with the row's own: rows
    // change on every pivot, and the merge must not allocate each time.
    thread_local std::vector<std::pair<Symbol, double>> merged;
    merged.clear();
    merged.reserve(cells.size() + other.cells.size());
    auto a = cells.begin();
    auto b = other.cells.begin();
    while (a != cells.end() || b != other.cells.end()) {
        if (b == other.cells.end() || (a != cells.end() && a->first < b->first)) {
            merged.push_back(*a++);
        } else if (a == cells.end() || b->first < a->first) {
            double v = b->second * coefficient;
            if (!nearZero(v)) {
                merged.emplace_back(b->first, v);
                if (changes) changes->added.push_back(b->first);
            }
            ++b;
        } else {
            double v = a->second + b->second * coefficient;
            if (!nearZero(v)) {
                merged.emplace_back(a->first, v);
            } else if (changes) {
                changes->removed.push_back(a->first);
            }
            ++a;
            ++b;
        }
    }
    cells.swap(merged);
}

void Row::remove(Symbol s) {
    auto it = findCell(cells, s);
    if (it != cells.end() && it->first == s) cells.erase(it);
}

void Row::reverseSign() {
    constant = -constant;
    for (auto& cell : cells) cell.second = -cell.second;
}

void Row::solveFor(Symbol s) {
    double coefficient = -1.0 / coefficientFor(s);
    remove(s);
    constant *= coefficient;
    for (auto& cell : cells) cell.second *= coefficient;
}

void Row::solveFor(Symbol lhs, Symbol rhs) {
    insert(lhs, -1.0);
    solveFor(rhs);
}

bool Row::substitute(Symbol s, const Row& row, Changes* changes) {
    auto it = findCell(cells, s);
    if (it == cells.end() || it->first != s) return false;
    double coefficient = it->second;
    cells.erase(it);
    insert(row, coefficient, changes);
    return true;
}

// ---- ObjectiveRow ------------------------------------------------------------------------------

double ObjectiveRow::coefficientFor(Symbol s) const {
    auto it = cells.find(s);
    return it == cells.end() ? 0.0 : it->second;
}

void ObjectiveRow::insert(Symbol s, double coefficient) {
    auto it = cells.find(s);
    if (it != cells.end()) {
        it->second += coefficient;
        if (nearZero(it->second)) cells.erase(it);
    } else if (!nearZero(coefficient)) {
        cells.emplace(s, coefficient);
    }
}

void ObjectiveRow::insert(const Row& other, double coefficient) {
    constant += other.constant * coefficient;
    for (const auto& [s, c] : other.cells) {
        auto it = cells.find(s);
        if (it != cells.end()) {
            double v = it->second + c * coefficient;
            if (nearZero(v)) {
                cells.erase(it);
            } else {
                it->second = v;
            }
        } else {
            double v = c * coefficient;
            if (!nearZero(v)) cells.emplace(s, v);
        }
    }
}

void ObjectiveRow::remove(Symbol s) {
    cells.erase(s);
}

bool ObjectiveRow::substitute(Symbol s, const Row& row) {
    auto it = cells.find(s);
    if (it == cells.end()) return false;
    double coefficient = it->second;
    cells.erase(it);
    insert(row, coefficient);
    return true;
}

}  // namespace uikit::layout::detail
