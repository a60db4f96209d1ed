#include "uikit/layout/Solver.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace uikit::layout {

using detail::kEpsilon;

namespace {

bool nearZero(double v) {
    return std::fabs(v) < kEpsilon;
}

}  // namespace

// ---- Solver ------------------------------------------------------------------------------------

Solver::Solver() {
    symbolTypes_.push_back(SymType::invalid);  // symbol 0 is "no symbol"
    symbolMarks_.push_back(0);
}

Solver::Variable Solver::newVariable() {
    return nextVariable_++;
}

Solver::Sym Solver::newSymbol(SymType type) {
    symbolTypes_.push_back(type);
    symbolMarks_.push_back(0);
    return static_cast<Sym>(symbolTypes_.size() - 1);
}

Solver::Sym Solver::symbolFor(Variable v) {
    auto it = variables_.find(v);
    if (it != variables_.end()) return it->second.symbol;
    Sym s = newSymbol(SymType::external);
    variables_.emplace(v, VariableInfo{s, 0});
    externals_.emplace(s, v);
    return s;
}

void Solver::releaseVariable(Variable v) {
    auto it = variables_.find(v);
    if (it == variables_.end()) return;
    if (--it->second.references <= 0) {
        // No remaining constraint mentions the variable, so its column is empty: forget the symbol.
        eraseRow(it->second.symbol);
        columns_.erase(it->second.symbol);
        externals_.erase(it->second.symbol);
        variables_.erase(it);
    }
}

Solver::ObjectiveRow& Solver::levelRow(double priority) {
    return objective_[priority];
}

void Solver::dropLevel(double priority) {
    auto count = levelCounts_.find(priority);
    if (count == levelCounts_.end()) return;
    if (--count->second <= 0) {
        levelCounts_.erase(count);
        auto level = objective_.find(priority);
        if (level == objective_.end()) return;
        // Whatever the level decided for its symbols, a lower level may decide now.
        for (const auto& cell : level->second.cells) touched(cell.first);
        objective_.erase(level);
    }
}

Solver::Row Solver::createRow(const ConstraintInfo& info, const Expression& expression) {
    Row row;
    row.constant = expression.constant;
    for (const Term& term : expression.terms) {
        if (nearZero(term.coefficient)) continue;
        Sym s = symbolFor(term.variable);
        auto basic = rows_.find(s);
        if (basic != rows_.end()) {
            row.insert(basic->second, term.coefficient);
        } else {
            row.insert(s, term.coefficient);
        }
    }
    const bool isRequired = info.priority >= required;
    switch (info.relation) {
        case Relation::lessThanOrEqual:
        case Relation::greaterThanOrEqual: {
            // expr >= 0 becomes expr - slack = 0; expr <= 0 becomes expr + slack = 0.
            double coefficient = info.relation == Relation::lessThanOrEqual ? 1.0 : -1.0;
            row.insert(info.marker, coefficient);
            if (!isRequired) {
                row.insert(info.other, -coefficient);
                levelRow(info.priority).insert(info.other, 1.0);
                touched(info.other);
            }
            break;
        }
        case Relation::equal:
            if (!isRequired) {
                row.insert(info.marker, -1.0);
                row.insert(info.other, 1.0);
                ObjectiveRow& level = levelRow(info.priority);
                level.insert(info.marker, 1.0);
                level.insert(info.other, 1.0);
                touched(info.marker);
                touched(info.other);
            } else {
                row.insert(info.marker, 1.0);
            }
            break;
    }
    if (row.constant < 0.0) row.reverseSign();
    return row;
}

Solver::Sym Solver::chooseSubject(const Row& row, const ConstraintInfo& info) const {
    for (const auto& cell : row.cells) {
        if (typeOf(cell.first) == SymType::external) return cell.first;
    }
    if (isRestricted(info.marker) && row.coefficientFor(info.marker) < 0.0) return info.marker;
    if (info.other != 0 && isRestricted(info.other) && row.coefficientFor(info.other) < 0.0) return info.other;
    return 0;
}

std::expected<Solver::ConstraintId, Solver::Failure> Solver::addConstraint(const Expression& expression,
                                                                           Relation relation, double priority) {
    if (!(priority >= 1.0)) priority = 1.0;  // also catches NaN
    if (priority > required) priority = required;

    ConstraintInfo info{expression, relation, priority, 0, 0, 0};
    const bool isRequired = priority >= required;
    if (relation == Relation::equal) {
        info.marker = newSymbol(isRequired ? SymType::dummy : SymType::error);
        if (!isRequired) info.other = newSymbol(SymType::error);
    } else {
        info.marker = newSymbol(SymType::slack);
        if (!isRequired) info.other = newSymbol(SymType::error);
    }

    // Reference each distinct variable once.
    std::vector<Variable> distinct;
    for (const Term& term : expression.terms) {
        if (std::find(distinct.begin(), distinct.end(), term.variable) == distinct.end()) {
            distinct.push_back(term.variable);
        }
    }
    for (Variable v : distinct) {
        symbolFor(v);
        ++variables_[v].references;
    }
    info.variableCount = distinct.size();
    auto releaseAll = [&] {
        for (Variable v : distinct) releaseVariable(v);
    };

    if (!isRequired) levelCounts_[priority] += 1;
    Row row = createRow(info, expression);
    Sym subject = chooseSubject(row, info);

    if (subject == 0) {
        bool allDummies = std::all_of(row.cells.begin(), row.cells.end(),
                                      [&](const auto& cell) { return typeOf(cell.first) == SymType::dummy; });
        if (allDummies) {
            if (!nearZero(row.constant)) {
                releaseAll();
                if (!isRequired) dropLevel(priority);
                return std::unexpected(Failure::unsatisfiable);
            }
            subject = info.marker;  // redundant with the required equalities already present
        }
    }

    if (subject == 0) {
        if (!addWithArtificialVariable(row)) {
            releaseAll();
            if (!isRequired) dropLevel(priority);
            optimize();
            return std::unexpected(Failure::unsatisfiable);
        }
    } else {
        row.solveFor(subject);
        substitute(subject, row);
        setRow(subject, std::move(row));
    }

    ConstraintId id = nextConstraint_++;
    constraints_.emplace(id, std::move(info));
    optimize();
    return id;
}

bool Solver::addWithArtificialVariable(const Row& row) {
    Sym artificial = newSymbol(SymType::slack);
    setRow(artificial, row);
    Row objective = row;
    optimizeArtificial(objective);
    const bool success = nearZero(objective.constant);

    if (success) {
        auto it = rows_.find(artificial);
        if (it != rows_.end()) {
            Row basicRow = takeRow(it);
            if (!basicRow.cells.empty()) {
                // Keep the constraint's equation as the row of another symbol; prefer a pivotable one.
                Sym entering = 0;
                for (const auto& cell : basicRow.cells) {
                    if (isPivotable(cell.first)) {
                        entering = cell.first;
                        break;
                    }
                }
                if (entering == 0) entering = basicRow.cells.front().first;
                basicRow.solveFor(artificial, entering);
                substitute(entering, basicRow);
                setRow(entering, std::move(basicRow));
            }
        }
        forget(artificial);
        return true;
    }

    // Not satisfiable: take the artificial definition out again, which restores the former system.
    eliminateMarker(artificial);
    forget(artificial);
    return false;
}

void Solver::eliminateMarker(Sym marker) {
    auto basic = rows_.find(marker);
    if (basic != rows_.end()) {
        takeRow(basic);
        return;
    }
    Sym r1 = 0, r2 = 0, r3 = 0;
    double ratio1 = std::numeric_limits<double>::max();
    double ratio2 = std::numeric_limits<double>::max();
    for (Sym sym : rowsContaining(marker)) {
        const Row& row = rows_.find(sym)->second;
        double c = row.coefficientFor(marker);
        if (c == 0.0) continue;
        if (!isRestricted(sym)) {
            if (r3 == 0 || sym < r3) r3 = sym;
        } else if (c < 0.0) {
            double r = -row.constant / c;
            if (r < ratio1 || (r == ratio1 && sym < r1)) {
                ratio1 = r;
                r1 = sym;
            }
        } else {
            double r = row.constant / c;
            if (r < ratio2 || (r == ratio2 && sym < r2)) {
                ratio2 = r;
                r2 = sym;
            }
        }
    }
    Sym leaving = r1 != 0 ? r1 : (r2 != 0 ? r2 : r3);
    if (leaving == 0) return;  // the marker appears nowhere: nothing to take out
    pivot(marker, leaving);
    eraseRow(marker);
}

void Solver::removeObjectiveEffects(const ConstraintInfo& info) {
    if (info.priority >= required) return;
    auto level = objective_.find(info.priority);
    if (level != objective_.end()) {
        for (Sym s : {info.marker, info.other}) {
            if (s == 0 || typeOf(s) != SymType::error) continue;
            auto basic = rows_.find(s);
            if (basic != rows_.end()) {
                level->second.insert(basic->second, -1.0);
                touched(basic->second);
            } else {
                level->second.insert(s, -1.0);
                touched(s);
            }
        }
    }
    dropLevel(info.priority);
}

std::expected<void, Solver::Failure> Solver::removeConstraint(ConstraintId id) {
    auto it = constraints_.find(id);
    if (it == constraints_.end()) return std::unexpected(Failure::unknownConstraint);
    ConstraintInfo info = std::move(it->second);
    constraints_.erase(it);

    removeObjectiveEffects(info);
    eliminateMarker(info.marker);
    // Numerical leftovers of the constraint's own symbols, if any, go with it.
    for (Sym s : {info.marker, info.other}) {
        if (s == 0) continue;
        eraseRow(s);
        forget(s);
    }
    optimize();

    std::vector<Variable> distinct;
    for (const Term& term : info.expression.terms) {
        if (std::find(distinct.begin(), distinct.end(), term.variable) == distinct.end()) {
            distinct.push_back(term.variable);
        }
    }
    for (Variable v : distinct) releaseVariable(v);
    return {};
}

double Solver::constant(ConstraintId id) const {
    auto it = constraints_.find(id);
    return it == constraints_.end() ? 0.0 : it->second.expression.constant;
}

std::expected<void, Solver::Failure> Solver::applyConstantDelta(ConstraintInfo& info, double delta) {
    // The constraint's equation reads expr + c + k·marker (+ k'·other) = 0. Changing c by delta is the same
    // as shifting the marker (or the other error symbol) by delta·k; the tableau is rewritten accordingly.
    double markerSign = 0;
    double otherSign = 0;
    switch (info.relation) {
        case Relation::greaterThanOrEqual:
            markerSign = -1;
            otherSign = 1;
            break;
        case Relation::lessThanOrEqual:
            markerSign = 1;
            otherSign = -1;
            break;
        case Relation::equal:
            markerSign = info.priority >= required ? 1 : -1;
            otherSign = 1;
            break;
    }
    infeasible_.clear();
    bool dummyViolated = false;
    auto checkRow = [&](Sym basic, const Row& row) {
        if (isRestricted(basic) && row.constant < -kEpsilon) infeasible_.push_back(basic);
        if (typeOf(basic) == SymType::dummy && !nearZero(row.constant)) dummyViolated = true;
    };

    auto markerRow = rows_.find(info.marker);
    auto otherRow = info.other != 0 ? rows_.find(info.other) : rows_.end();
    if (markerRow != rows_.end()) {
        markerRow->second.constant -= delta * markerSign;
        checkRow(markerRow->first, markerRow->second);
    } else if (otherRow != rows_.end()) {
        otherRow->second.constant -= delta * otherSign;
        checkRow(otherRow->first, otherRow->second);
    } else {
        for (Sym basic : rowsContaining(info.marker)) {
            Row& row = rows_.find(basic)->second;
            double a = row.coefficientFor(info.marker);
            if (a == 0.0) continue;
            row.constant += a * delta * markerSign;
            valueMayChange(basic);
            checkRow(basic, row);
        }
    }
    info.expression.constant += delta;
    if (dummyViolated || !dualOptimize()) return std::unexpected(Failure::unsatisfiable);
    return {};
}

std::expected<void, Solver::Failure> Solver::setConstant(ConstraintId id, double constant) {
    auto it = constraints_.find(id);
    if (it == constraints_.end()) return std::unexpected(Failure::unknownConstraint);
    double delta = constant - it->second.expression.constant;
    if (delta == 0.0) return {};
    if (applyConstantDelta(it->second, delta)) return {};
    // The required constraint cannot hold with the new constant: undo the change, then drop it.
    (void)applyConstantDelta(it->second, -delta);
    (void)removeConstraint(id);
    return std::unexpected(Failure::unsatisfiable);
}

std::expected<void, Solver::Failure> Solver::addEditVariable(Variable variable, double priority) {
    if (edits_.count(variable)) return {};
    Expression e{{{variable, 1.0}}, 0.0};
    auto id = addConstraint(e, Relation::equal, priority);
    if (!id) return std::unexpected(id.error());
    edits_.emplace(variable, EditInfo{*id, priority});
    return {};
}

std::expected<void, Solver::Failure> Solver::removeEditVariable(Variable variable) {
    auto it = edits_.find(variable);
    if (it == edits_.end()) return std::unexpected(Failure::unknownConstraint);
    ConstraintId id = it->second.constraint;
    edits_.erase(it);
    return removeConstraint(id);
}

std::expected<void, Solver::Failure> Solver::suggestValue(Variable variable, double value) {
    auto it = edits_.find(variable);
    if (it == edits_.end()) return std::unexpected(Failure::unknownConstraint);
    auto result = setConstant(it->second.constraint, -value);
    if (!result && !constraints_.count(it->second.constraint)) edits_.erase(it);
    return result;
}

double Solver::value(Variable variable) const {
    auto v = variables_.find(variable);
    if (v == variables_.end()) return 0.0;
    auto row = rows_.find(v->second.symbol);
    return row == rows_.end() ? 0.0 : row->second.constant;
}

void Solver::reset() {
    rows_.clear();
    columns_.clear();
    objective_.clear();
    levelCounts_.clear();
    constraints_.clear();
    variables_.clear();
    edits_.clear();
    infeasible_.clear();
    dirty_.clear();
    candidates_.clear();
    changed_.clear();
    externals_.clear();
    symbolTypes_.assign(1, SymType::invalid);
    symbolMarks_.assign(1, 0);
}

bool Solver::isConsistent() const {
    for (const auto& [basic, row] : rows_) {
        if (isRestricted(basic) && row.constant < -1e-6) return false;
        if (typeOf(basic) == SymType::dummy && std::fabs(row.constant) > 1e-6) return false;
        for (const auto& cell : row.cells) {
            if (rows_.count(cell.first)) return false;
        }
    }
    for (const auto& [level, row] : objective_) {
        for (const auto& cell : row.cells) {
            if (rows_.count(cell.first)) return false;
        }
    }
    // Optimal: no parametric symbol can still improve the objective.
    for (const auto& [level, row] : objective_) {
        for (const auto& cell : row.cells) {
            Sym s = cell.first;
            if (!isPivotable(s)) continue;
            int sign = objectiveSign(s);
            if (isRestricted(s) ? sign < 0 : sign != 0) return false;
        }
    }
    return true;
}

}  // namespace uikit::layout
