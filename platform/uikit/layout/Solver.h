#pragma once

#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "uikit/layout/SolverRows.h"

namespace uikit::layout {

// An incremental linear constraint solver in the Cassowary style: a simplex tableau kept in basic
// feasible solved form, to which constraints are added and removed one at a time, and whose constants
// can be changed in place (the edit-variable technique: a dual simplex restores feasibility).
//
// Priorities follow the toolkit: 1000 is required; anything lower is a preference. Preferences are
// strictly ordered by priority: no number of violated constraints at one priority outweighs a single
// constraint of a higher priority. The objective is therefore kept as one row per priority level and
// compared lexicographically, which keeps the arithmetic exact instead of mixing huge and tiny weights.
//
// A constraint is `expression relation 0`. A required constraint that cannot be satisfied together
// with those already present is refused and the tableau is left as it was.
//
// Cost: the symbols that could enter the basis are kept as the objective changes (a pivot re-examines only
// the symbols its substitution touched) and the entering one is the lowest of them (Bland's rule, so no
// cycling), so a pivot costs the rows and cells it changes, not the length of the objective. The solver
// also remembers which variables' values may have changed, so that its user looks at those alone.
//
// Solver.cpp adds, removes and changes constraints; SolverTableau.cpp holds the tableau at work (rows and
// columns, substitutions, pivots, the entering candidates and the simplex loops); SolverRows.h the rows.
class Solver {
  public:
    using Variable = std::uint32_t;
    using ConstraintId = std::uint32_t;
    static constexpr double required = 1000.0;

    enum class Relation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

    struct Term {
        Variable variable;
        double coefficient;
    };
    struct Expression {
        std::vector<Term> terms;
        double constant = 0;
    };

    enum class Failure { unsatisfiable, unknownConstraint };

    Solver();
    Solver(const Solver&) = delete;
    Solver& operator=(const Solver&) = delete;

    // A fresh variable. Variables cost nothing until a constraint uses them.
    Variable newVariable();

    // Adds `expression relation 0` at `priority` (clamped to [1, 1000]).
    std::expected<ConstraintId, Failure> addConstraint(const Expression& expression, Relation relation,
                                                       double priority);
    std::expected<void, Failure> removeConstraint(ConstraintId id);
    bool hasConstraint(ConstraintId id) const { return constraints_.count(id) != 0; }

    // Replaces the constant of the constraint's expression. Incremental: no re-solve from scratch.
    // When a required constraint cannot hold with the new constant, the constraint is removed and the
    // call fails with `unsatisfiable`.
    std::expected<void, Failure> setConstant(ConstraintId id, double constant);
    double constant(ConstraintId id) const;

    // Edit variables: a preference `variable == value` at `priority` whose value can be suggested
    // repeatedly at the cost of a dual simplex pass.
    std::expected<void, Failure> addEditVariable(Variable variable, double priority);
    std::expected<void, Failure> removeEditVariable(Variable variable);
    bool hasEditVariable(Variable variable) const { return edits_.count(variable) != 0; }
    std::expected<void, Failure> suggestValue(Variable variable, double value);

    // The current value of a variable (0 for a variable no constraint determines).
    double value(Variable variable) const;

    // The variables whose value may have changed since the last call, each once, in no particular order
    // (a superset: a value may have come back to where it was).
    std::vector<Variable> takeChangedVariables();

    std::size_t constraintCount() const { return constraints_.size(); }
    std::size_t rowCount() const { return rows_.size(); }
    // Pivots made so far: the unit of the solver's work.
    std::uint64_t pivotCount() const { return pivots_; }
    // Drops every constraint and edit variable (variables stay valid).
    void reset();

    // Internal consistency check for tests: every basic restricted symbol is non-negative, no basic
    // symbol appears in another row, and the objective is optimal.
    bool isConsistent() const;

  private:
    using Sym = detail::Symbol;
    using Row = detail::Row;
    using ObjectiveRow = detail::ObjectiveRow;
    enum class SymType : std::uint8_t { invalid, external, slack, error, dummy };

    struct ConstraintInfo {
        Expression expression;
        Relation relation;
        double priority;
        Sym marker;
        Sym other;
        std::size_t variableCount;
    };

    struct EditInfo {
        ConstraintId constraint;
        double priority;
    };

    struct VariableInfo {
        Sym symbol;
        int references;
    };

    // Per-symbol marks: queued for a candidacy check, a candidate to enter, in the candidates' heap,
    // queued as changed.
    static constexpr std::uint8_t kDirty = 1, kCandidate = 2, kInHeap = 4, kChanged = 8;

    Sym newSymbol(SymType type);
    SymType typeOf(Sym s) const { return symbolTypes_[s]; }
    bool isRestricted(Sym s) const { return typeOf(s) == SymType::slack || typeOf(s) == SymType::error; }
    bool isPivotable(Sym s) const { return typeOf(s) != SymType::dummy && typeOf(s) != SymType::invalid; }

    Sym symbolFor(Variable v);
    void releaseVariable(Variable v);
    Row createRow(const ConstraintInfo& info, const Expression& expression);
    Sym chooseSubject(const Row& row, const ConstraintInfo& info) const;
    bool addWithArtificialVariable(const Row& row);
    // Makes `marker` basic in a feasibility-preserving way and deletes its row.
    void eliminateMarker(Sym marker);
    void substitute(Sym s, const Row& row);
    // The column index: for each symbol, the basic symbols whose rows may contain it (a superset, cleaned
    // when read or when half of it may be stale), so that substitutions and ratio tests touch only the rows
    // concerned.
    struct Column {
        std::vector<Sym> rows;
        std::size_t stale = 0;  // entries that may no longer hold: cleaned once they are half the column
    };
    void setRow(Sym basic, Row row);
    // `basic`'s row now holds the symbols of `row` (or `symbols`, or `s`).
    void note(Sym basic, const Row& row);
    void note(Sym basic, const std::vector<Sym>& symbols);
    void note(Sym basic, Sym s);
    std::vector<Sym> rowsContaining(Sym s);
    void compact(Sym s, Column& column);
    // Some entry of `s`'s column may name a row that no longer holds `s`.
    void mayBeStale(Sym s);
    // Takes a row out of the tableau (its columns told), or erases it.
    Row takeRow(std::unordered_map<Sym, Row>::iterator it);
    void eraseRow(Sym basic);
    void forget(Sym s);
    // `also` is a row kept outside the tableau (the artificial objective) that follows the substitution.
    void pivot(Sym entering, Sym leaving, Row* also = nullptr);
    Sym leavingRow(Sym entering, int direction);
    void optimize();
    // The entering candidates: `touched` queues a symbol whose objective coefficients or basic state changed;
    // `refreshCandidates` re-examines the queue; `lowestCandidate` is Bland's choice (0: the objective is
    // optimal).
    void touched(Sym s);
    void touched(const Row& row);
    void refreshCandidates();
    Sym lowestCandidate();
    // The row of `s` was made, changed or removed: an external variable's value may have changed.
    void valueMayChange(Sym s);
    bool optimizeArtificial(Row& artificial);
    bool dualOptimize();
    void removeObjectiveEffects(const ConstraintInfo& info);
    ObjectiveRow& levelRow(double priority);
    void dropLevel(double priority);
    // Lexicographic objective coefficient of `s`: components from the highest priority down.
    int objectiveSign(Sym s) const;
    bool lexLess(const std::vector<double>& a, const std::vector<double>& b) const;
    std::vector<double> objectiveVector(Sym s, double scale) const;
    std::expected<void, Failure> applyConstantDelta(ConstraintInfo& info, double delta);

    std::vector<SymType> symbolTypes_;
    std::vector<std::uint8_t> symbolMarks_;  // kDirty | kCandidate | kInHeap | kChanged, by symbol
    std::unordered_map<Sym, Row> rows_;
    std::unordered_map<Sym, Column> columns_;
    std::vector<std::uint32_t> seen_;  // by symbol: the compaction that last kept it
    std::uint32_t stamp_ = 0;
    // Objective rows by priority, highest first, with the number of constraints at each level.
    std::map<double, ObjectiveRow, std::greater<double>> objective_;
    std::map<double, int, std::greater<double>> levelCounts_;
    std::unordered_map<ConstraintId, ConstraintInfo> constraints_;
    std::unordered_map<Variable, VariableInfo> variables_;
    std::unordered_map<Variable, EditInfo> edits_;
    std::vector<Sym> infeasible_;
    std::vector<Sym> dirty_;       // symbols to re-examine as candidates
    std::vector<Sym> candidates_;  // a min-heap; entries whose kCandidate mark is gone are dropped when seen
    std::vector<Sym> changed_;     // external symbols whose value may have changed
    std::unordered_map<Sym, Variable> externals_;  // the variable of each external symbol in use
    std::uint64_t pivots_ = 0;
    Variable nextVariable_ = 1;
    ConstraintId nextConstraint_ = 1;
};

}  // namespace uikit::layout
