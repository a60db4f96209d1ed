// The solver's tableau at work: rows and their column index, substitutions and pivots, the entering
// candidates, and the primal and dual simplex loops. (Adding, removing and changing constraints is in
// Solver.cpp.)
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "uikit/layout/Solver.h"

namespace uikit::layout {

using detail::kEpsilon;

void Solver::substitute(Sym s, const Row& row) {
    Row::Changes changes;
    for (Sym basic : rowsContaining(s)) {
        Row& r = rows_.find(basic)->second;
        changes.clear();
        if (!r.substitute(s, row, &changes)) continue;
        note(basic, changes.added);
        for (Sym gone : changes.removed) mayBeStale(gone);
        valueMayChange(basic);
        if (isRestricted(basic) && r.constant < -kEpsilon) infeasible_.push_back(basic);
    }
    columns_.erase(s);  // no row contains it any more
    bool inObjective = false;
    for (auto& [level, r] : objective_) inObjective = r.substitute(s, row) || inObjective;
    touched(s);
    if (inObjective) touched(row);
}

void Solver::setRow(Sym basic, Row row) {
    eraseRow(basic);  // a row it had before (never, as rows are made) leaves its columns stale
    // Insert first: noting may compact a column, which keeps only the rows that contain the symbol now.
    Row& stored = rows_[basic] = std::move(row);
    note(basic, stored);
    valueMayChange(basic);
    touched(basic);
}

void Solver::note(Sym basic, const Row& row) {
    for (const auto& cell : row.cells) note(basic, cell.first);
}

void Solver::note(Sym basic, const std::vector<Sym>& symbols) {
    for (Sym s : symbols) note(basic, s);
}

void Solver::note(Sym basic, Sym s) {
    Column& column = columns_[s];
    column.rows.push_back(basic);
    if (column.stale > 16 && 2 * column.stale > column.rows.size()) compact(s, column);
}

void Solver::mayBeStale(Sym s) {
    auto it = columns_.find(s);
    if (it != columns_.end()) ++it->second.stale;
}

Solver::Row Solver::takeRow(std::unordered_map<Sym, Row>::iterator it) {
    Row row = std::move(it->second);
    rows_.erase(it);
    // The columns of its symbols still name its basic symbol.
    for (const auto& cell : row.cells) mayBeStale(cell.first);
    return row;
}

void Solver::eraseRow(Sym basic) {
    auto it = rows_.find(basic);
    if (it != rows_.end()) takeRow(it);
}

void Solver::compact(Sym s, Column& column) {
    // Keeps each row that holds `s` now once, in the order first noted: no sort, so that keeping a long
    // column clean costs its length.
    if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    if (seen_.size() < symbolTypes_.size()) seen_.resize(symbolTypes_.size(), 0);
    std::erase_if(column.rows, [&](Sym basic) {
        if (seen_[basic] == stamp_) return true;
        seen_[basic] = stamp_;
        auto row = rows_.find(basic);
        return row == rows_.end() || row->second.coefficientFor(s) == 0.0;
    });
    column.stale = 0;
}

std::vector<Solver::Sym> Solver::rowsContaining(Sym s) {
    auto it = columns_.find(s);
    if (it == columns_.end()) return {};
    compact(s, it->second);
    // In symbol order, as the ties of the ratio tests and the order of infeasible rows expect.
    std::vector<Sym> list = it->second.rows;
    std::sort(list.begin(), list.end());
    return list;
}

void Solver::forget(Sym s) {
    for (Sym basic : rowsContaining(s)) rows_.find(basic)->second.remove(s);
    columns_.erase(s);
    for (auto& [level, r] : objective_) r.remove(s);
    touched(s);
}

void Solver::pivot(Sym entering, Sym leaving, Row* also) {
    ++pivots_;
    Row row = takeRow(rows_.find(leaving));
    valueMayChange(leaving);
    touched(leaving);
    row.solveFor(leaving, entering);
    substitute(entering, row);
    if (also) also->substitute(entering, row);
    setRow(entering, std::move(row));
}

void Solver::touched(Sym s) {
    if (symbolMarks_[s] & kDirty) return;
    symbolMarks_[s] |= kDirty;
    dirty_.push_back(s);
}

void Solver::touched(const Row& row) {
    for (const auto& cell : row.cells) touched(cell.first);
}

void Solver::valueMayChange(Sym s) {
    if (typeOf(s) != SymType::external || (symbolMarks_[s] & kChanged)) return;
    symbolMarks_[s] |= kChanged;
    changed_.push_back(s);
}

void Solver::refreshCandidates() {
    for (Sym s : dirty_) {
        std::uint8_t& marks = symbolMarks_[s];
        marks &= static_cast<std::uint8_t>(~kDirty);
        // A candidate improves the objective: its coefficient at the first level that has one is negative
        // (a restricted symbol can only grow), or any non-zero (a free one may move either way).
        bool candidate = false;
        if (isPivotable(s) && !rows_.count(s)) {
            for (const auto& [level, row] : objective_) {
                const double c = row.coefficientFor(s);
                if (std::fabs(c) <= kEpsilon) continue;
                candidate = !isRestricted(s) || c < 0;
                break;
            }
        }
        if (!candidate) {
            marks &= static_cast<std::uint8_t>(~kCandidate);
            continue;
        }
        marks |= kCandidate;
        if (!(marks & kInHeap)) {
            marks |= kInHeap;
            candidates_.push_back(s);
            std::push_heap(candidates_.begin(), candidates_.end(), std::greater<>());
        }
    }
    dirty_.clear();
}

Solver::Sym Solver::lowestCandidate() {
    refreshCandidates();
    while (!candidates_.empty()) {
        const Sym s = candidates_.front();
        if (symbolMarks_[s] & kCandidate) return s;
        symbolMarks_[s] &= static_cast<std::uint8_t>(~kInHeap);
        std::pop_heap(candidates_.begin(), candidates_.end(), std::greater<>());
        candidates_.pop_back();
    }
    return 0;
}

std::vector<Solver::Variable> Solver::takeChangedVariables() {
    std::vector<Variable> result;
    result.reserve(changed_.size());
    for (Sym s : changed_) {
        symbolMarks_[s] &= static_cast<std::uint8_t>(~kChanged);
        if (auto it = externals_.find(s); it != externals_.end()) result.push_back(it->second);
    }
    changed_.clear();
    return result;
}

int Solver::objectiveSign(Sym s) const {
    for (const auto& [level, row] : objective_) {
        double c = row.coefficientFor(s);
        if (c < -kEpsilon) return -1;
        if (c > kEpsilon) return 1;
    }
    return 0;
}

std::vector<double> Solver::objectiveVector(Sym s, double scale) const {
    std::vector<double> v;
    v.reserve(objective_.size());
    for (const auto& [level, row] : objective_) v.push_back(row.coefficientFor(s) * scale);
    return v;
}

bool Solver::lexLess(const std::vector<double>& a, const std::vector<double>& b) const {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] < b[i] - kEpsilon) return true;
        if (a[i] > b[i] + kEpsilon) return false;
    }
    return false;
}

Solver::Sym Solver::leavingRow(Sym entering, int direction) {
    // The ratio test: the restricted row that first reaches zero as `entering` moves in `direction`, the
    // lowest symbol among ties (Bland's rule); 0 when none limits it.
    Sym leaving = 0;
    double best = std::numeric_limits<double>::max();
    for (Sym basic : rowsContaining(entering)) {
        if (!isRestricted(basic)) continue;
        const Row& row = rows_.find(basic)->second;
        const double a = row.coefficientFor(entering) * direction;
        if (a < -kEpsilon) {
            const double r = row.constant / -a;
            if (r < best - kEpsilon || (std::fabs(r - best) <= kEpsilon && basic < leaving)) {
                best = r;
                leaving = basic;
            }
        }
    }
    return leaving;
}

void Solver::optimize() {
    // Primal simplex on the lexicographic objective. Bland's rule (lowest symbol first) rules out cycling.
    for (int guard = 0; guard < 100000; ++guard) {
        const Sym entering = lowestCandidate();
        if (entering == 0) return;
        int direction = 1;
        if (!isRestricted(entering)) {  // a free variable moves against its first coefficient's sign
            for (const auto& [level, row] : objective_) {
                const double c = row.coefficientFor(entering);
                if (std::fabs(c) <= kEpsilon) continue;
                direction = c < 0 ? 1 : -1;
                break;
            }
        }

        const Sym leaving = leavingRow(entering, direction);
        if (leaving == 0) return;  // unbounded: cannot happen with non-negative error terms
        pivot(entering, leaving);
    }
}

bool Solver::optimizeArtificial(Row& artificial) {
    for (int guard = 0; guard < 100000; ++guard) {
        Sym entering = 0;
        int direction = 0;
        for (const auto& cell : artificial.cells) {
            Sym s = cell.first;
            if (!isPivotable(s)) continue;
            if (isRestricted(s)) {
                if (cell.second < -kEpsilon) {
                    entering = s;
                    direction = 1;
                    break;
                }
            } else if (std::fabs(cell.second) > kEpsilon) {
                entering = s;
                direction = cell.second < 0 ? 1 : -1;
                break;
            }
        }
        if (entering == 0) return true;

        const Sym leaving = leavingRow(entering, direction);
        if (leaving == 0) return false;
        pivot(entering, leaving, &artificial);
    }
    return false;
}

bool Solver::dualOptimize() {
    while (!infeasible_.empty()) {
        Sym leaving = infeasible_.back();
        infeasible_.pop_back();
        auto it = rows_.find(leaving);
        if (it == rows_.end() || it->second.constant >= -kEpsilon) continue;
        const Row& row = it->second;

        Sym entering = 0;
        std::vector<double> best;
        for (const auto& [s, a] : row.cells) {
            if (!isPivotable(s)) continue;
            std::vector<double> ratio;
            if (isRestricted(s)) {
                if (a <= kEpsilon) continue;
                ratio = objectiveVector(s, 1.0 / a);
            } else {
                if (std::fabs(a) <= kEpsilon) continue;
                ratio = objectiveVector(s, 1.0 / std::fabs(a));
                for (double& r : ratio) r = std::fabs(r);
            }
            if (entering == 0 || lexLess(ratio, best)) {
                entering = s;
                best = std::move(ratio);
            }
        }
        if (entering == 0) {
            infeasible_.clear();
            return false;
        }
        pivot(entering, leaving);
    }
    return true;
}

}  // namespace uikit::layout
