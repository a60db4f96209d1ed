#pragma once

// Heckel's array diff ("A technique for isolating differences between files", 1978): the steps that
// turn one list into another, in the order a batch update of a list view applies them (all deletes
// first, by ascending old index; then inserts, updates and moves by ascending new index).

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace lumora {

// How an element type is matched and compared. The default takes the element's own
// `diffIdentifier()` when it has one, and otherwise the element itself (for hashable elements), and
// compares elements with `==`. Specialise it for element types that need something else (for example
// shared objects compared by value).
template <class T>
struct DiffableTraits {
    static decltype(auto) diffIdentifier(const T& value) {
        if constexpr (requires { value.diffIdentifier(); }) {
            return value.diffIdentifier();
        } else {
            return T(value);
        }
    }
    static bool equal(const T& lhs, const T& rhs) { return lhs == rhs; }
};

// The identity of an element: a hashable, equatable value.
template <class H>
concept DiffHashable = std::equality_comparable<H> && requires(const H& h) {
    { std::hash<H>{}(h) } -> std::convertible_to<std::size_t>;
};

template <class T>
using DiffHashType = std::decay_t<decltype(DiffableTraits<T>::diffIdentifier(std::declval<const T&>()))>;

// An element that refines equality and has a `diffIdentifier` by which old and new elements are matched.
template <class T>
concept Diffable = std::copy_constructible<T> && requires(const T& a, const T& b) {
    DiffableTraits<T>::diffIdentifier(a);
    { DiffableTraits<T>::equal(a, b) } -> std::convertible_to<bool>;
} && DiffHashable<DiffHashType<T>>;

// One step of a diff. `value` is the old list's element for a delete and the new list's for the others;
// `index` is the new position of an insert and the old position of a delete or an update; a move goes
// from `fromIndex` in the old list to `toIndex` in the new list.
template <Diffable T>
class DiffStep {
  public:
    enum class Kind { insert, delete_, move, update };

    static DiffStep insert(T value, std::size_t index) { return DiffStep(Insert{std::move(value), index}); }
    static DiffStep delete_(T value, std::size_t index) { return DiffStep(Delete{std::move(value), index}); }
    static DiffStep move(T value, std::size_t fromIndex, std::size_t toIndex) {
        return DiffStep(Move{std::move(value), fromIndex, toIndex});
    }
    static DiffStep update(T value, std::size_t index) { return DiffStep(Update{std::move(value), index}); }

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isInsert() const { return kind() == Kind::insert; }
    bool isDelete() const { return kind() == Kind::delete_; }
    bool isMove() const { return kind() == Kind::move; }
    bool isUpdate() const { return kind() == Kind::update; }

    const T& value() const {
        return std::visit([](const auto& s) -> const T& { return s.value; }, storage_);
    }
    // The position of an insert, delete or update; for a move, its `toIndex`.
    std::size_t index() const {
        return std::visit(
            [](const auto& s) -> std::size_t {
                if constexpr (requires { s.toIndex; }) {
                    return s.toIndex;
                } else {
                    return s.index;
                }
            },
            storage_);
    }
    // Moves only (0 for the other kinds).
    std::size_t fromIndex() const { return isMove() ? std::get<Move>(storage_).fromIndex : 0; }
    std::size_t toIndex() const { return isMove() ? std::get<Move>(storage_).toIndex : 0; }

    friend bool operator==(const DiffStep& a, const DiffStep& b) {
        if (a.kind() != b.kind() || !DiffableTraits<T>::equal(a.value(), b.value())) return false;
        if (a.isMove()) return a.fromIndex() == b.fromIndex() && a.toIndex() == b.toIndex();
        return a.index() == b.index();
    }

  private:
    struct Insert {
        T value;
        std::size_t index;
    };
    struct Delete {
        T value;
        std::size_t index;
    };
    struct Move {
        T value;
        std::size_t fromIndex;
        std::size_t toIndex;
    };
    struct Update {
        T value;
        std::size_t index;
    };
    explicit DiffStep(std::variant<Insert, Delete, Move, Update> s) : storage_(std::move(s)) {}
    std::variant<Insert, Delete, Move, Update> storage_;
};

// A reference from a position of one list: either to the symbol-table entry of its identifier (not yet
// matched) or to the index of the matched element in the other list. One word: the low bit tells which
// (symbols are aligned, so a pointer's low bit is clear), so that the two lists' references of a long diff
// take half the cache they would as a variant.
struct Reference {
    // Counts are only ever compared with one, so they stop at two and fit in a byte each; together with
    // the (last) old index they take eight bytes beside each identifier.
    struct Symbol {
        std::uint8_t oldCounter = 0;
        std::uint8_t newCounter = 0;
        std::uint32_t oldIndex = 0;
        void countOld() { oldCounter += oldCounter < 2 ? 1 : 0; }
        void countNew() { newCounter += newCounter < 2 ? 1 : 0; }
    };

    static Reference pointer(Symbol* s) { return Reference{reinterpret_cast<std::uintptr_t>(s)}; }
    static Reference indexed(std::size_t i) { return Reference{(static_cast<std::uintptr_t>(i) << 1) | 1u}; }

    bool isPointer() const { return (bits & 1u) == 0; }
    bool isIndex() const { return (bits & 1u) != 0; }
    Symbol* symbol() const { return isPointer() ? reinterpret_cast<Symbol*>(bits) : nullptr; }
    std::size_t index() const { return static_cast<std::size_t>(bits >> 1); }

    std::uintptr_t bits;
};

// The symbol table of one diff: identifier -> Symbol, by open addressing. One array of slots sized up
// front (room for every element of both lists, at most about three quarters full) holds indices into one
// array of entries (identifier and Symbol side by side) that is reserved up front and never moves, so
// references may point at its Symbols. Identifiers are hashed with `std::hash` and then mixed with a key
// chosen once per process: identifiers that share low bits (multiples of any table size) spread over the
// whole table, and no list can be chosen to make the diff quadratic.
template <class H>
class DiffSymbolTable {
  public:
    DiffSymbolTable() = default;
    DiffSymbolTable(DiffSymbolTable&&) noexcept = default;
    DiffSymbolTable& operator=(DiffSymbolTable&&) noexcept = default;
    // Hands its arrays to the next table of this thread: a diff after a diff finds its memory ready instead
    // of asking the system for fresh pages (large blocks are mapped and unmapped on every allocation).
    ~DiffSymbolTable() {
        if (slots_.capacity() == 0 ||
            slots_.capacity() * sizeof(std::uint32_t) + entries_.capacity() * sizeof(Entry) > kKeptBytes) {
            return;
        }
        Spare& spare = spareOfThisThread();
        if (spare.slots.capacity() >= slots_.capacity()) return;
        entries_.clear();
        spare.slots = std::move(slots_);
        spare.entries = std::move(entries_);
    }

    // Room for `identifiers` distinct identifiers; more may not be added.
    void reserve(std::size_t identifiers) {
        const std::size_t capacity = std::max<std::size_t>(16, identifiers + identifiers / 3 + 1);
        Spare& spare = spareOfThisThread();
        if (slots_.capacity() < capacity && spare.slots.capacity() >= capacity) slots_ = std::move(spare.slots);
        if (entries_.capacity() < identifiers && spare.entries.capacity() >= identifiers) {
            entries_ = std::move(spare.entries);
        }
        slots_.assign(capacity, kEmpty);
        entries_.clear();
        entries_.reserve(identifiers);
    }
    // The identifier's symbol, made on first sight.
    Reference::Symbol& operator[](const H& identifier) {
        std::size_t slot = slotOf(identifier);
        for (;;) {
            const std::uint32_t entry = slots_[slot];
            if (entry == kEmpty) break;
            if (entries_[entry].identifier == identifier) return entries_[entry].symbol;
            if (++slot == slots_.size()) slot = 0;
        }
        slots_[slot] = static_cast<std::uint32_t>(entries_.size());
        return entries_.emplace_back(Entry{identifier, {}}).symbol;
    }
    std::size_t size() const { return entries_.size(); }
    // Asks the processor for the identifier's first slot ahead of its look-up (a table of a long list is
    // larger than its caches).
    void prefetch(const H& identifier) const { __builtin_prefetch(slots_.data() + slotOf(identifier)); }

  private:
    struct Entry {
        H identifier;
        Reference::Symbol symbol;
    };
    // The arrays a finished table of this thread left for the next one.
    struct Spare {
        std::vector<std::uint32_t> slots;
        std::vector<Entry> entries;
    };
    static Spare& spareOfThisThread() {
        thread_local Spare spare;
        return spare;
    }
    // Tables larger than this give their memory back.
    static constexpr std::size_t kKeptBytes = 32u << 20;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    static std::uint64_t key() {
        static const std::uint64_t k = [] {
            std::random_device device;
            return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^ 0x9E3779B97F4A7C15ull;
        }();
        return k;
    }
    // The first slot of an identifier: its mixed hash scaled to the table (no power-of-two size needed).
    std::size_t slotOf(const H& identifier) const {
        const std::uint64_t mixed = mix(std::hash<H>{}(identifier));
        return static_cast<std::size_t>((static_cast<unsigned __int128>(mixed) * slots_.size()) >> 64);
    }
    // A bijective mix of every bit of the hash into every bit of the slot.
    static std::uint64_t mix(std::size_t hash) {
        std::uint64_t h = static_cast<std::uint64_t>(hash) ^ key();
        h ^= h >> 30;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 27;
        h *= 0x94D049BB133111EBull;
        h ^= h >> 31;
        return h;
    }

    std::vector<std::uint32_t> slots_;  // kEmpty, or an index into entries_
    std::vector<Entry> entries_;        // reserved up front: never moves
};

// The working state of one diff. Symbols live in `table` (and never move), and references point at
// them, so a context can be moved but not copied.
template <Diffable T>
struct DiffContext {
    using HashType = DiffHashType<T>;

    DiffContext(const std::vector<T>& from, const std::vector<T>& to) : fromArray(from), toArray(to) {}
    DiffContext(const DiffContext&) = delete;
    DiffContext& operator=(const DiffContext&) = delete;
    DiffContext(DiffContext&&) = default;

    const std::vector<T>& fromArray;
    const std::vector<T>& toArray;
    std::vector<Reference> OA;
    std::vector<Reference> NA;
    DiffSymbolTable<HashType> table;
};

struct PHDiff {
    template <Diffable T>
    static std::vector<DiffStep<T>> steps(const std::vector<T>& fromArray, const std::vector<T>& toArray) {
        DiffContext<T> context(fromArray, toArray);
        buildReferences(context);
        return makeSteps(context);
    }

  private:
    template <Diffable T>
    static void buildReferences(DiffContext<T>& c) {
        const std::size_t oldCount = c.fromArray.size();
        const std::size_t newCount = c.toArray.size();
        // At most one symbol per element: the table never grows and its symbols never move.
        c.table.reserve(oldCount + newCount);
        c.NA.reserve(newCount);
        c.OA.reserve(oldCount);

        // Identifiers cheap to take twice are looked up ahead, so that the table's slots are in the cache.
        constexpr std::size_t ahead = 16;
        constexpr bool cheapIdentifiers = std::is_trivially_copyable_v<typename DiffContext<T>::HashType> &&
                                          sizeof(typename DiffContext<T>::HashType) <= 16;
        // (1) new elements: count them and point at their entries.
        for (std::size_t j = 0; j < newCount; ++j) {
            if constexpr (cheapIdentifiers) {
                if (j + ahead < newCount) c.table.prefetch(DiffableTraits<T>::diffIdentifier(c.toArray[j + ahead]));
            }
            Reference::Symbol& entry = c.table[DiffableTraits<T>::diffIdentifier(c.toArray[j])];
            entry.countNew();
            c.NA.push_back(Reference::pointer(&entry));
        }
        // (2) old elements: count them, remember the (last) old index.
        for (std::size_t i = 0; i < oldCount; ++i) {
            if constexpr (cheapIdentifiers) {
                if (i + ahead < oldCount) c.table.prefetch(DiffableTraits<T>::diffIdentifier(c.fromArray[i + ahead]));
            }
            Reference::Symbol& entry = c.table[DiffableTraits<T>::diffIdentifier(c.fromArray[i])];
            entry.countOld();
            entry.oldIndex = static_cast<std::uint32_t>(i);
            c.OA.push_back(Reference::pointer(&entry));
        }
        // (3) identifiers that occur exactly once in each list are matched.
        for (std::size_t j = 0; j < newCount; ++j) {
            const Reference::Symbol* entry = c.NA[j].symbol();
            if (entry && entry->newCounter == 1 && entry->oldCounter == 1) {
                const std::size_t i = entry->oldIndex;
                c.NA[j] = Reference::indexed(i);
                c.OA[i] = Reference::indexed(j);
            }
        }
        // (4) a match spreads forward to equal unmatched neighbours.
        if (newCount >= 2) {
            for (std::size_t j = 0; j + 1 < newCount; ++j) {
                if (!c.NA[j].isIndex()) continue;
                const std::size_t i = c.NA[j].index();
                if (i + 1 >= oldCount) continue;
                Reference::Symbol* next = c.NA[j + 1].symbol();
                if (next && next == c.OA[i + 1].symbol()) {
                    c.NA[j + 1] = Reference::indexed(i + 1);
                    c.OA[i + 1] = Reference::indexed(j + 1);
                }
            }
        }
        // (5) and backward.
        for (std::size_t j = newCount; j-- > 1;) {
            if (!c.NA[j].isIndex()) continue;
            const std::size_t i = c.NA[j].index();
            if (i < 1) continue;
            Reference::Symbol* previous = c.NA[j - 1].symbol();
            if (previous && previous == c.OA[i - 1].symbol()) {
                c.NA[j - 1] = Reference::indexed(i - 1);
                c.OA[i - 1] = Reference::indexed(j - 1);
            }
        }
    }

    template <Diffable T>
    static std::vector<DiffStep<T>> makeSteps(const DiffContext<T>& c) {
        std::vector<DiffStep<T>> steps;
        const std::size_t oldCount = c.fromArray.size();
        const std::size_t newCount = c.toArray.size();
        // A delete per old element that leaves, then at most an insert, or an update and a move, per new one.
        std::size_t leaving = 0;
        for (const Reference& ref : c.OA) leaving += ref.isPointer() ? 1 : 0;
        steps.reserve(leaving + newCount);

        // Deletes, and for every old index the number of deletes before it.
        std::vector<std::uint32_t> deletesBefore(oldCount, 0);
        std::uint32_t deletes = 0;
        for (std::size_t i = 0; i < oldCount; ++i) {
            deletesBefore[i] = deletes;
            if (c.OA[i].isPointer()) {
                steps.push_back(DiffStep<T>::delete_(c.fromArray[i], i));
                ++deletes;
            }
        }

        // Inserts, updates and moves. `expected` = i + (delete offset of i) + running offset; it is
        // never negative because the deletes before i are at most i.
        std::size_t runningOffset = 0;
        for (std::size_t j = 0; j < newCount; ++j) {
            const Reference& ref = c.NA[j];
            if (ref.isPointer()) {
                steps.push_back(DiffStep<T>::insert(c.toArray[j], j));
                ++runningOffset;
                continue;
            }
            const std::size_t i = ref.index();
            if (!DiffableTraits<T>::equal(c.toArray[j], c.fromArray[i])) {
                steps.push_back(DiffStep<T>::update(c.toArray[j], i));
            }
            const std::size_t expected = i - deletesBefore[i] + runningOffset;
            if (j != expected) {
                steps.push_back(DiffStep<T>::move(c.toArray[j], i, j));
                if (j < expected) ++runningOffset;
            }
        }
        return steps;
    }
};

}  // namespace lumora
