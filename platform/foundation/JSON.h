#pragma once

#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/Data.h"
#include "foundation/Error.h"

// JSON coding for models decoded key by key: text is parsed by simdjson and models read straight from
// its document; encoding writes a model's values once into a compact document of its own and writes
// that out as compact text once (byte for byte what nlohmann-json's compact dump writes).
//
// A model opts in with a static `decode` that reads its fields from a keyed container, and (when it is
// sent) a const `encode` that writes them:
//
//   struct Team {
//       std::string name;
//       std::optional<std::string> nickName;           // may be absent or null
//       std::vector<Player> players;                   // Player has its own decode/encode
//
//       static Team decode(const foundation::KeyedDecodingContainer& c) {
//           Team t;
//           t.name = c.decode<std::string>("name");
//           t.nickName = c.decodeIfPresent<std::string>("nickName");
//           t.players = c.decode<std::vector<Player>>("players");
//           return t;
//       }
//       void encode(foundation::KeyedEncodingContainer& c) const {
//           c.encode("name", name);
//           c.encodeIfPresent("nickName", nickName);   // left out when nothing
//           c.encode("players", players);
//       }
//   };
//
//   std::expected<Team, foundation::Error> team = foundation::JSONDecoder().decode<Team>(data);
//   std::expected<foundation::Data, foundation::Error> body = foundation::JSONEncoder().encode(team);
//
// The first failure wins: once a decode has failed, the container records the DecodingError and every
// later `decode` returns a value-initialised T at once, so `decode` functions read straight through
// without checks; `JSONDecoder::decode` then returns that first error. Decoded types must therefore be
// default-constructible. A model may report a failure of its own (an unknown raw value...) with
// `container.dataCorrupted(key, description)`.
//
// A value type read from a single JSON value (an enumeration with a text raw value...) opts in with
// `static T decode(const foundation::SingleValueDecodingContainer&)` and
// `void encode(foundation::SingleValueEncodingContainer&) const`.
//
// Built in: bool, the integer types, float and double, std::string, std::optional<T>, std::vector<T>,
// std::map<std::string, T> and JSONValue (any JSON, kept as it is). Numbers are never read as strings
// nor strings as numbers; a bool is not a number; an integer type accepts only integral numbers in its
// range (3 and 3.0 are an Int, 3.5 and 3e10 are not an Int32).
namespace foundation {

// A parsed JSON value. Objects keep their keys in insertion order, so encoded bodies are deterministic.
using JSONValue = nlohmann::ordered_json;

// One step of a coding path: a key of an object or an index of an array.
struct CodingKey {
    std::string stringValue;
    std::optional<std::size_t> intValue;

    static CodingKey key(std::string name) { return CodingKey{std::move(name), std::nullopt}; }
    static CodingKey index(std::size_t i) { return CodingKey{"Index " + std::to_string(i), i}; }
    friend bool operator==(const CodingKey&, const CodingKey&) = default;
};
using CodingPath = std::vector<CodingKey>;

// A coding path written as a key path: "items[2].id"; the empty text for the top level.
std::string describeCodingPath(const CodingPath& path);

class DecodingError {
  public:
    struct Context {
        CodingPath codingPath;
        std::string debugDescription;
        // For malformed JSON: the byte offset where parsing failed.
        std::optional<std::size_t> byteOffset;
    };
    struct TypeMismatch {
        std::string expectedType;
        Context context;
    };
    struct ValueNotFound {
        std::string expectedType;
        Context context;
    };
    struct KeyNotFound {
        std::string key;
        Context context;  // the path of the object that lacks the key
    };
    struct DataCorrupted {
        Context context;
    };

    static DecodingError typeMismatch(std::string expectedType, Context context);
    static DecodingError valueNotFound(std::string expectedType, Context context);
    static DecodingError keyNotFound(std::string key, Context context);
    static DecodingError dataCorrupted(Context context);

    bool isTypeMismatch() const { return std::holds_alternative<TypeMismatch>(value_); }
    bool isValueNotFound() const { return std::holds_alternative<ValueNotFound>(value_); }
    bool isKeyNotFound() const { return std::holds_alternative<KeyNotFound>(value_); }
    bool isDataCorrupted() const { return std::holds_alternative<DataCorrupted>(value_); }
    const std::variant<TypeMismatch, ValueNotFound, KeyNotFound, DataCorrupted>& value() const { return value_; }

    const Context& context() const;
    // The key path of the failing value, a missing key included ("items[2].id").
    std::string keyPath() const;
    // The expected type of a type mismatch or a missing value ("String", "Int32", "Dictionary"...).
    std::optional<std::string> expectedType() const;
    // The missing key of keyNotFound.
    std::optional<std::string> key() const;

    // Names the key path, e.g. `No value associated with key "id" (key path "items[2].id").`
    std::string localizedDescription() const;
    std::string domain() const { return "NSCocoaErrorDomain"; }
    // 4865 for a missing key or value, 4864 for a wrong type or corrupted data.
    int code() const;

  private:
    explicit DecodingError(std::variant<TypeMismatch, ValueNotFound, KeyNotFound, DataCorrupted> v)
        : value_(std::move(v)) {}
    std::variant<TypeMismatch, ValueNotFound, KeyNotFound, DataCorrupted> value_;
};

class EncodingError {
  public:
    struct Context {
        CodingPath codingPath;
        std::string debugDescription;
    };
    struct InvalidValue {
        std::string valueDescription;  // "Double.nan", "Double.infinity", "invalid UTF-8 text"...
        Context context;
    };

    static EncodingError invalidValue(std::string valueDescription, Context context);
    bool isInvalidValue() const { return true; }
    const InvalidValue& invalidValueCase() const { return value_; }
    const Context& context() const { return value_.context; }
    std::string keyPath() const { return describeCodingPath(value_.context.codingPath); }

    std::string localizedDescription() const;
    std::string domain() const { return "NSCocoaErrorDomain"; }
    int code() const { return 4866; }

  private:
    explicit EncodingError(InvalidValue v) : value_(std::move(v)) {}
    InvalidValue value_;
};

class KeyedDecodingContainer;
class UnkeyedDecodingContainer;
class SingleValueDecodingContainer;
class KeyedEncodingContainer;
class UnkeyedEncodingContainer;
class SingleValueEncodingContainer;

template <class T>
concept KeyedDecodable = requires(const KeyedDecodingContainer& c) {
    { T::decode(c) } -> std::same_as<T>;
};
template <class T>
concept SingleValueDecodable = requires(const SingleValueDecodingContainer& c) {
    { T::decode(c) } -> std::same_as<T>;
};
template <class T>
concept KeyedEncodable = requires(const T& value, KeyedEncodingContainer& c) {
    value.encode(c);
};
template <class T>
concept SingleValueEncodable = requires(const T& value, SingleValueEncodingContainer& c) {
    value.encode(c);
};

enum class KeyDecodingStrategy { useDefaultKeys, convertFromSnakeCase };
enum class KeyEncodingStrategy { useDefaultKeys, convertToSnakeCase };

// "first_name" -> "firstName": words after the first start with a capital, underscores between words
// go, leading and trailing underscores stay; a key without "_" is unchanged.
std::string convertFromSnakeCase(std::string_view key);
// "firstName" -> "first_name", "myURLValue" -> "my_url_value".
std::string convertToSnakeCase(std::string_view key);

namespace detail {

// A value of a parsed document, by handle (cheap to copy): an element of simdjson's document, or a
// JSONValue decoded as it is. Valid while the document it points into lives (one decode).
class JSONNode {
  public:
    enum class Kind : std::uint8_t { null, boolean, integer, unsignedInteger, floating, string, array, object };

    JSONNode() = default;
    static JSONNode of(const JSONValue& value);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::null; }
    bool isNumber() const {
        return kind_ == Kind::integer || kind_ == Kind::unsignedInteger || kind_ == Kind::floating;
    }
    bool boolValue() const;
    std::string_view stringValue() const;
    // A number as a double.
    double doubleValue() const;
    // Elements of an array, fields of an object (objects: duplicate keys counted once).
    std::size_t count() const;

  private:
    friend struct JSONNodeAccess;
    std::uint64_t raw_[2] = {0, 0};  // the parser's element handle, or the JSONValue's address
    Kind kind_ = Kind::null;
    bool inDocument_ = false;
};

// Walks the elements of an array node in order.
class JSONArrayCursor {
  public:
    JSONArrayCursor() = default;
    explicit JSONArrayCursor(const JSONNode& array);
    std::size_t count() const { return count_; }
    std::size_t index() const { return index_; }
    bool atEnd() const { return index_ >= count_; }
    // The element at index(); only when !atEnd().
    JSONNode current() const;
    void advance();

  private:
    JSONNode array_;
    std::uint64_t position_[2] = {0, 0};  // the parser's iterator (document nodes)
    std::size_t index_ = 0;
    std::size_t count_ = 0;
};

// One step of a coding path, linked to the step before it. Paths are written out only when an error is
// reported; decoding itself never copies them. A step's key is a view that lives as long as the decode.
struct PathLink {
    const PathLink* parent = nullptr;
    std::string_view key;
    std::size_t index = 0;
    bool isIndex = false;
};
CodingPath codingPathOf(const PathLink* link);

// Keys of one object converted from snake case: model key -> key in the document (the first key of a
// converted name wins).
struct ConvertedKeys;

// One field of an object read into its index: each key once, in its first place, with its last value.
struct IndexedField {
    std::string_view key;  // in the document
    JSONNode value;
};

// Where a keyed container's index of its object lies in the decode's storage. The fields are read once, on
// the first look-up; every look-up after that is a probe of a small hash table instead of a pass over the
// object (a model reading all 28 fields of an object would otherwise compare keys 784 times).
struct ObjectIndex {
    enum class State : std::uint8_t { notBuilt, built, unindexed };
    std::uint32_t firstField = 0;  // in DecodingState::indexedFields
    std::uint32_t fieldCount = 0;
    std::uint32_t firstSlot = 0;  // in DecodingState::indexSlots
    std::uint32_t slotMask = 0;
    std::uint32_t next = 0;  // the field after the last one found: models mostly read in document order
    State state = State::notBuilt;
};

struct DecodingState {
    explicit DecodingState(KeyDecodingStrategy s);
    ~DecodingState();
    DecodingState(const DecodingState&) = delete;
    DecodingState& operator=(const DecodingState&) = delete;

    KeyDecodingStrategy strategy = KeyDecodingStrategy::useDefaultKeys;
    std::optional<DecodingError> error;
    void fail(DecodingError e) {
        if (!error) error = std::move(e);
    }

    // The indexes of the objects whose containers are open, one after the other (see ObjectIndex); a keyed
    // value's decode gives back what its containers added (IndexScope), so they hold the open path only.
    std::vector<IndexedField> indexedFields;
    std::vector<std::uint32_t> indexSlots;  // field position + 1 in its object's index; 0: empty

    // What containers hand out or keep for the length of the decode (made on first use): steps of
    // nested containers, written-out coding paths, raw values, converted keys.
    struct Storage;
    Storage& storage();

  private:
    std::unique_ptr<Storage> storage_;
};

// Gives back, when it ends, the object indexes made after it began (those of containers that are gone).
class IndexScope {
  public:
    explicit IndexScope(DecodingState& state)
        : state_(state), fields_(state.indexedFields.size()), slots_(state.indexSlots.size()) {}
    ~IndexScope() {
        state_.indexedFields.resize(fields_);
        state_.indexSlots.resize(slots_);
    }
    IndexScope(const IndexScope&) = delete;
    IndexScope& operator=(const IndexScope&) = delete;

  private:
    DecodingState& state_;
    std::size_t fields_;
    std::size_t slots_;
};

// What one encode writes: every value once, into a compact tree of its own (numbers and booleans as they
// are, text and keys in one buffer), written out as text once at the end. A container is a place in the
// tree, never a path from its root, so writing a key costs the same however deep or wide the document is;
// a key is found again (to be replaced in its place) by a short walk of a small object, or through a hash
// table once an object has more than a few keys.
class EncodingDocument {
  public:
    using Slot = std::uint32_t;       // the place of one value
    using Container = std::uint32_t;  // one object or array
    static constexpr Slot root = 0;

    explicit EncodingDocument(KeyEncodingStrategy strategy);
    ~EncodingDocument();
    EncodingDocument(const EncodingDocument&) = delete;
    EncodingDocument& operator=(const EncodingDocument&) = delete;

    bool failed() const { return error_.has_value(); }
    void fail(EncodingError e) {
        if (!error_) error_ = std::move(e);
    }

    void setNull(Slot slot);
    void setBool(Slot slot, bool value);
    void setInteger(Slot slot, std::int64_t value);
    void setUnsigned(Slot slot, std::uint64_t value);
    // A finite number.
    void setDouble(Slot slot, double value);
    void setString(Slot slot, std::string_view value);
    void setJSON(Slot slot, const JSONValue& value);
    Container setObject(Slot slot);
    Container setArray(Slot slot);

    // The place of `key` in an object: where it was written before (its value is then replaced in place),
    // or a new last one. `convert`: the key is converted as the encoder's strategy says.
    Slot keyed(Container object, std::string_view key, bool convert);
    // A new last place in an array.
    Slot appended(Container array);
    std::size_t count(Container container) const;

    // A step of a coding path that lives as long as the document (a nested container's).
    const PathLink* keepLink(const PathLink* parent, std::string_view key);
    const PathLink* keepLink(const PathLink* parent, std::size_t index);
    // The coding path of a link, written out and kept as long as the document.
    const CodingPath& keepPath(const PathLink* link);

    // The compact text of the root value, or the first failure.
    std::expected<Data, Error> write() const;
    // The root value as a JSON value, or the first failure found while encoding.
    std::expected<JSONValue, Error> toJSONValue() const;

  private:
    struct Value;
    struct Member;
    struct ContainerRecord;
    struct Storage;

    Member& member(Slot slot);
    Container addContainer(Slot slot, bool isObject);
    Slot append(Container container);
    void index(Container container);
    std::optional<Slot> findIndexed(Container container, std::string_view key, std::uint32_t hash) const;
    void insertIndexed(Slot slot, std::uint32_t hash);

    KeyEncodingStrategy strategy_;
    std::optional<EncodingError> error_;
    std::unique_ptr<Storage> storage_;
};

// A parsed document for one decode: simdjson's, or nlohmann-json's for the text JSON allows that simdjson
// does not read (a byte-order mark, numbers beyond 64 bits). Refused text is described as nlohmann-json
// describes it (where, what was wrong, what was expected), never quoting the document.
class ParsedJSON {
  public:
    ParsedJSON() = default;
    ~ParsedJSON();
    ParsedJSON(const ParsedJSON&) = delete;
    ParsedJSON& operator=(const ParsedJSON&) = delete;
    // Nothing on success; malformed text gives the DecodingError that JSONDecoder::parse describes.
    std::optional<Error> parse(std::string_view text);
    const JSONNode& root() const { return root_; }

  private:
    void* parser_ = nullptr;  // a parser leased from this thread's pool
    std::unique_ptr<JSONValue> fallback_;
    JSONNode root_;
};

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsVector : std::false_type {};
template <class T, class A>
struct IsVector<std::vector<T, A>> : std::true_type {};
template <class T>
struct IsStringMap : std::false_type {};
template <class T, class C, class A>
struct IsStringMap<std::map<std::string, T, C, A>> : std::true_type {};

template <class T>
inline constexpr bool isInteger = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>;

template <class T>
std::string typeName() {
    if constexpr (std::is_same_v<T, bool>) {
        return "Bool";
    } else if constexpr (isInteger<T>) {
        return std::string(std::is_signed_v<T> ? "Int" : "UInt") + std::to_string(sizeof(T) * 8);
    } else if constexpr (std::is_same_v<T, double>) {
        return "Double";
    } else if constexpr (std::is_same_v<T, float>) {
        return "Float";
    } else if constexpr (std::is_same_v<T, std::string>) {
        return "String";
    } else if constexpr (IsVector<T>::value) {
        return "Array";
    } else if constexpr (IsStringMap<T>::value || KeyedDecodable<T> || KeyedEncodable<T>) {
        return "Dictionary";
    } else {
        return "Value";
    }
}

// The integral value of a JSON number within [min, max] of a 64-bit-or-smaller type.
std::optional<std::int64_t> signedInteger(const JSONNode& v, std::int64_t min, std::int64_t max);
std::optional<std::uint64_t> unsignedInteger(const JSONNode& v, std::uint64_t max);
inline std::optional<std::int64_t> signedInteger(const JSONValue& v, std::int64_t min, std::int64_t max) {
    return signedInteger(JSONNode::of(v), min, max);
}
inline std::optional<std::uint64_t> unsignedInteger(const JSONValue& v, std::uint64_t max) {
    return unsignedInteger(JSONNode::of(v), max);
}
// "a string", "null", "the number 3.5"...
std::string describeJSONKind(const JSONNode& v);
inline std::string describeJSONKind(const JSONValue& v) {
    return describeJSONKind(JSONNode::of(v));
}
// The value as an nlohmann-json value (objects in document order).
JSONValue toJSONValue(const JSONNode& v);
// The fields of an object in document order, a key given twice counted once with its last value.
std::vector<std::pair<std::string_view, JSONNode>> objectFields(const JSONNode& object);

// Failures, with the coding path written out.
void failMismatch(DecodingState& state, const std::string& expected, const JSONNode& found, const PathLink* path);
void failNull(DecodingState& state, const std::string& expected, const PathLink* path);

template <class T>
T decodeValue(const JSONNode& v, DecodingState& state, const PathLink* path);
template <class T>
T decodeKeyed(const JSONNode& v, DecodingState& state, const PathLink* path);
template <class T>
T decodeSingle(const JSONNode& v, DecodingState& state, const PathLink* path);

// What `make` returns, made straight in the place that asks for it (`optional::emplace(InPlace{...})`): the
// value is not moved from where it was made into where it is kept, which for a model means every field.
template <class F>
struct InPlace {
    F make;
    operator std::invoke_result_t<F&>() { return make(); }
};
template <class F>
InPlace(F) -> InPlace<F>;

// Decodes `v` into `out` (nothing when the decode failed).
template <class T>
void decodeInto(std::optional<T>& out, const JSONNode& v, DecodingState& state, const PathLink* path) {
    out.emplace(InPlace{[&] { return decodeValue<T>(v, state, path); }});
    if (state.error) out.reset();
}

template <class T>
void encodeValue(const T& value, EncodingDocument& document, EncodingDocument::Slot slot, const PathLink* path);

}  // namespace detail

// The fields of one JSON object, read by key. Containers live inside one decode (they are handed to the
// model's `decode` and must not be kept).
class KeyedDecodingContainer {
  public:
    const CodingPath& codingPath() const;
    // The keys of the object as the model sees them (converted when the decoder converts), in order.
    std::vector<std::string> allKeys() const;
    bool contains(std::string_view key) const {
        detail::JSONNode v;
        return find(key, v);
    }
    // True when the key is absent or null.
    bool decodeNil(std::string_view key) const;

    // The value of a key that must be present and not null (except for T = std::optional<U>, which is
    // decodeIfPresent, and T = JSONValue, which takes a null as it is).
    template <class T>
    T decode(std::string_view key) const {
        static_assert(std::is_default_constructible_v<T>, "decoded types must be default-constructible");
        if (state_->error) return T{};
        if constexpr (detail::IsOptional<T>::value) {
            return decodeIfPresent<typename T::value_type>(key);
        } else {
            detail::JSONNode v;
            if (!find(key, v)) {
                failKeyNotFound(key);
                return T{};
            }
            const detail::PathLink child{path_, key};
            return detail::decodeValue<T>(v, *state_, &child);
        }
    }

    // Nothing when the key is absent or null; a value of the wrong type is still a type mismatch.
    template <class T>
    std::optional<T> decodeIfPresent(std::string_view key) const {
        std::optional<T> out;
        if (state_->error) return out;
        detail::JSONNode v;
        if (!find(key, v) || v.isNull()) return out;
        if constexpr (std::is_same_v<T, std::string>) {
            // Text read as text, the most common field, without the general road.
            if (v.kind() == detail::JSONNode::Kind::string) {
                out.emplace(v.stringValue());
                return out;
            }
        }
        const detail::PathLink child{path_, key};
        detail::decodeInto(out, v, *state_, &child);
        return out;
    }

    KeyedDecodingContainer nestedContainer(std::string_view key) const;
    UnkeyedDecodingContainer nestedUnkeyedContainer(std::string_view key) const;

    // Records a failure of the model's own (the first failure wins).
    void fail(DecodingError error) const { state_->fail(std::move(error)); }
    // Records dataCorrupted at `key` with the description.
    void dataCorrupted(std::string_view key, std::string description) const;
    bool failed() const { return state_->error.has_value(); }
    // The JSON value under `key` as it is, when present (kept for the length of the decode).
    const JSONValue* rawValue(std::string_view key) const;

  private:
    template <class T>
    friend T detail::decodeKeyed(const detail::JSONNode&, detail::DecodingState&, const detail::PathLink*);
    friend class UnkeyedDecodingContainer;
    // `object` is an object node, or nullptr for a container made after a failure.
    KeyedDecodingContainer(const detail::JSONNode* object, detail::DecodingState& state, const detail::PathLink* path);
    // The value of `key`; `stableKey` receives a view of the key that lives as long as the decode.
    bool find(std::string_view key, detail::JSONNode& value, std::string_view* stableKey = nullptr) const {
        // The field after the last one found first: models mostly read their keys in the document's order.
        if (index_.next < index_.fieldCount && !converted_) {
            const detail::IndexedField& next = state_->indexedFields[index_.firstField + index_.next];
            if (next.key == key) {
                value = next.value;
                if (stableKey) *stableKey = next.key;
                ++index_.next;
                return true;
            }
        }
        return search(key, value, stableKey);
    }
    bool search(std::string_view key, detail::JSONNode& value, std::string_view* stableKey) const;
    void failKeyNotFound(std::string_view key) const;
    // A step for a nested container (kept for the length of the decode).
    const detail::PathLink* nestedLink(std::string_view key, std::string_view stableKey) const;

    detail::JSONNode object_;
    bool hasObject_ = false;
    detail::DecodingState* state_;
    const detail::PathLink* path_;
    // Converted key -> key in the JSON, when the decoder converts from snake case.
    const detail::ConvertedKeys* converted_ = nullptr;
    mutable detail::ObjectIndex index_;  // the object's fields by key, made on the first look-up
    mutable const CodingPath* codingPath_ = nullptr;
};

// The elements of one JSON array, read in order.
class UnkeyedDecodingContainer {
  public:
    const CodingPath& codingPath() const;
    std::size_t count() const { return cursor_.count(); }
    bool isAtEnd() const { return cursor_.atEnd(); }
    std::size_t currentIndex() const { return cursor_.index(); }

    // The next element; past the end is valueNotFound.
    template <class T>
    T decode() {
        static_assert(std::is_default_constructible_v<T>, "decoded types must be default-constructible");
        if (state_->error) return T{};
        if (isAtEnd()) {
            failPastEnd(detail::typeName<T>());
            return T{};
        }
        const detail::PathLink child{path_, {}, cursor_.index(), true};
        const detail::JSONNode v = cursor_.current();
        cursor_.advance();
        return detail::decodeValue<T>(v, *state_, &child);
    }
    // The next element, nothing when it is null (or when the array has ended).
    template <class T>
    std::optional<T> decodeIfPresent() {
        std::optional<T> out;
        if (state_->error || isAtEnd()) return out;
        const detail::PathLink child{path_, {}, cursor_.index(), true};
        const detail::JSONNode v = cursor_.current();
        cursor_.advance();
        if (v.isNull()) return out;
        detail::decodeInto(out, v, *state_, &child);
        return out;
    }
    KeyedDecodingContainer nestedContainer();
    void fail(DecodingError error) const { state_->fail(std::move(error)); }
    bool failed() const { return state_->error.has_value(); }

  private:
    friend class KeyedDecodingContainer;
    // `array` is an array node, or nullptr for a container made after a failure.
    UnkeyedDecodingContainer(const detail::JSONNode* array, detail::DecodingState& state, const detail::PathLink* path);
    void failPastEnd(const std::string& type);

    detail::JSONArrayCursor cursor_;
    detail::DecodingState* state_;
    const detail::PathLink* path_;
    mutable const CodingPath* codingPath_ = nullptr;
};

// One JSON value, for types read from a single value.
class SingleValueDecodingContainer {
  public:
    const CodingPath& codingPath() const;
    bool decodeNil() const { return value_.isNull(); }
    template <class T>
    T decode() const {
        if (state_->error) return T{};
        return detail::decodeValue<T>(value_, *state_, path_);
    }
    // Records dataCorrupted here ("Cannot initialize Kind from invalid String value x"...).
    void dataCorrupted(std::string description) const;
    void fail(DecodingError error) const { state_->fail(std::move(error)); }
    bool failed() const { return state_->error.has_value(); }

  private:
    template <class T>
    friend T detail::decodeSingle(const detail::JSONNode&, detail::DecodingState&, const detail::PathLink*);
    SingleValueDecodingContainer(const detail::JSONNode& value, detail::DecodingState& state,
                                 const detail::PathLink* path)
        : value_(value), state_(&state), path_(path) {}
    detail::JSONNode value_;
    detail::DecodingState* state_;
    const detail::PathLink* path_;
    mutable const CodingPath* codingPath_ = nullptr;
};

class JSONDecoder {
  public:
    KeyDecodingStrategy keyDecodingStrategy = KeyDecodingStrategy::useDefaultKeys;

    template <class T>
    std::expected<T, Error> decode(const Data& data) const {
        return decode<T>(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    template <class T>
    std::expected<T, Error> decode(std::string_view text) const {
        detail::ParsedJSON parsed;
        if (auto failure = parsed.parse(text)) return std::unexpected(std::move(*failure));
        return decodeNode<T>(parsed.root());
    }
    // (Text arguments are JSON text, never a JSON string value.)
    template <class T>
    std::expected<T, Error> decode(const char* text) const {
        return decode<T>(std::string_view(text));
    }
    template <class T>
    std::expected<T, Error> decode(const std::string& text) const {
        return decode<T>(std::string_view(text));
    }
    // An already parsed value.
    template <class T>
    std::expected<T, Error> decode(const JSONValue& value) const {
        return decodeNode<T>(detail::JSONNode::of(value));
    }

    // Parses JSON text; malformed text (a raw NUL byte anywhere among it), invalid UTF-8 and nesting deeper
    // than 512 levels are dataCorrupted with the byte offset, described without quoting the text.
    static std::expected<JSONValue, Error> parse(std::string_view text);

  private:
    template <class T>
    std::expected<T, Error> decodeNode(const detail::JSONNode& root) const {
        detail::DecodingState state(keyDecodingStrategy);
        // Made where it is returned from (one return of one object): a model is not moved on its way out.
        std::expected<T, Error> out(std::in_place,
                                    detail::InPlace{[&] { return detail::decodeValue<T>(root, state, nullptr); }});
        if (state.error) out = std::unexpected(Error(std::move(*state.error)));
        return out;
    }
};

// Writes the fields of one JSON object. Keys appear in the order they are first encoded; encoding a key
// again replaces its value in place. Containers live inside one encode (they are handed to the model's
// `encode` and must not be kept).
class KeyedEncodingContainer {
  public:
    const CodingPath& codingPath() const;

    template <class T>
    void encode(std::string_view key, const T& value) {
        if (document_->failed()) return;
        const detail::PathLink child{path_, key};
        detail::encodeValue(value, *document_, document_->keyed(object_, key, true), &child);
    }
    void encode(std::string_view key, const char* value) { encode(key, std::string_view(value)); }
    // Leaves the key out when there is no value.
    template <class T>
    void encodeIfPresent(std::string_view key, const std::optional<T>& value) {
        if (value) encode(key, *value);
    }
    void encodeNil(std::string_view key) {
        if (!document_->failed()) document_->setNull(document_->keyed(object_, key, true));
    }
    KeyedEncodingContainer nestedContainer(std::string_view key);
    UnkeyedEncodingContainer nestedUnkeyedContainer(std::string_view key);
    void fail(EncodingError error) { document_->fail(std::move(error)); }

  private:
    template <class T>
    friend void detail::encodeValue(const T&, detail::EncodingDocument&, detail::EncodingDocument::Slot,
                                    const detail::PathLink*);
    friend class UnkeyedEncodingContainer;
    KeyedEncodingContainer(detail::EncodingDocument& document, detail::EncodingDocument::Container object,
                           const detail::PathLink* path)
        : document_(&document), object_(object), path_(path) {}

    detail::EncodingDocument* document_;
    detail::EncodingDocument::Container object_;
    const detail::PathLink* path_;
    mutable const CodingPath* codingPath_ = nullptr;
};

// Appends the elements of one JSON array.
class UnkeyedEncodingContainer {
  public:
    const CodingPath& codingPath() const;
    std::size_t count() const { return document_->count(array_); }
    template <class T>
    void encode(const T& value) {
        if (document_->failed()) return;
        const detail::PathLink child{path_, {}, count(), true};
        detail::encodeValue(value, *document_, document_->appended(array_), &child);
    }
    void encodeNil() {
        if (!document_->failed()) document_->setNull(document_->appended(array_));
    }
    KeyedEncodingContainer nestedContainer();
    void fail(EncodingError error) { document_->fail(std::move(error)); }

  private:
    friend class KeyedEncodingContainer;
    UnkeyedEncodingContainer(detail::EncodingDocument& document, detail::EncodingDocument::Container array,
                             const detail::PathLink* path)
        : document_(&document), array_(array), path_(path) {}

    detail::EncodingDocument* document_;
    detail::EncodingDocument::Container array_;
    const detail::PathLink* path_;
    mutable const CodingPath* codingPath_ = nullptr;
};

class SingleValueEncodingContainer {
  public:
    const CodingPath& codingPath() const;
    template <class T>
    void encode(const T& value) {
        if (!document_->failed()) detail::encodeValue(value, *document_, slot_, path_);
    }
    void encodeNil() { document_->setNull(slot_); }
    void fail(EncodingError error) { document_->fail(std::move(error)); }

  private:
    template <class T>
    friend void detail::encodeValue(const T&, detail::EncodingDocument&, detail::EncodingDocument::Slot,
                                    const detail::PathLink*);
    SingleValueEncodingContainer(detail::EncodingDocument& document, detail::EncodingDocument::Slot slot,
                                 const detail::PathLink* path)
        : document_(&document), slot_(slot), path_(path) {}

    detail::EncodingDocument* document_;
    detail::EncodingDocument::Slot slot_;
    const detail::PathLink* path_;
    mutable const CodingPath* codingPath_ = nullptr;
};

class JSONEncoder {
  public:
    KeyEncodingStrategy keyEncodingStrategy = KeyEncodingStrategy::useDefaultKeys;

    // Compact JSON text (no blanks), keys in the order encoded. A non-finite number anywhere, or text
    // that is not valid UTF-8, is an EncodingError naming its key path; nothing is written as null silently.
    // The text is written once, straight from what the model encoded.
    template <class T>
    std::expected<Data, Error> encode(const T& value) const {
        detail::EncodingDocument document(keyEncodingStrategy);
        detail::encodeValue(value, document, detail::EncodingDocument::root, nullptr);
        return document.write();
    }
    template <class T>
    std::expected<JSONValue, Error> encodeToValue(const T& value) const {
        detail::EncodingDocument document(keyEncodingStrategy);
        detail::encodeValue(value, document, detail::EncodingDocument::root, nullptr);
        return document.toJSONValue();
    }

    // Compact text of a JSON value, with the checks above.
    static std::expected<Data, Error> serialize(const JSONValue& value);
};

// Untyped JSON, for code that reads a body as a dictionary of any values.
struct JSONSerialization {
    static std::expected<JSONValue, Error> jsonObject(const Data& data);
    static std::expected<JSONValue, Error> jsonObject(std::string_view text) { return JSONDecoder::parse(text); }
    static std::expected<Data, Error> data(const JSONValue& value) { return JSONEncoder::serialize(value); }
};

// ---- implementation of the templates ----

namespace detail {

// Arrays and models, each made where the caller keeps it: each of these has one return of one object, so
// nothing is moved on the way out (decodeValue's other returns would stop that for a value of its own).
template <class T>
T decodeArray(const JSONNode& v, DecodingState& state, const PathLink* path) {
    T out;
    JSONArrayCursor cursor(v);
    out.reserve(cursor.count());
    PathLink child{path, {}, 0, true};
    for (; !cursor.atEnd(); cursor.advance()) {
        child.index = cursor.index();
        out.emplace_back(InPlace{[&] { return decodeValue<typename T::value_type>(cursor.current(), state, &child); }});
        if (state.error) {
            out = T{};
            break;
        }
    }
    return out;
}

template <class T>
T decodeKeyed(const JSONNode& v, DecodingState& state, const PathLink* path) {
    const IndexScope scope(state);
    KeyedDecodingContainer container(&v, state, path);
    T out = T::decode(container);
    if (state.error) out = T{};
    return out;
}

template <class T>
T decodeSingle(const JSONNode& v, DecodingState& state, const PathLink* path) {
    SingleValueDecodingContainer container(v, state, path);
    T out = T::decode(container);
    if (state.error) out = T{};
    return out;
}

template <class T>
T decodeValue(const JSONNode& v, DecodingState& state, const PathLink* path) {
    static_assert(std::is_default_constructible_v<T>, "decoded types must be default-constructible");
    if (state.error) return T{};
    if constexpr (std::is_same_v<T, JSONValue>) {
        return toJSONValue(v);
    } else if constexpr (IsOptional<T>::value) {
        T out;
        if (!v.isNull()) decodeInto(out, v, state, path);
        return out;
    } else {
        if (v.isNull()) {
            failNull(state, typeName<T>(), path);
            return T{};
        }
        if constexpr (std::is_same_v<T, bool>) {
            if (v.kind() != JSONNode::Kind::boolean) {
                failMismatch(state, typeName<T>(), v, path);
                return false;
            }
            return v.boolValue();
        } else if constexpr (isInteger<T>) {
            std::optional<T> out;
            if constexpr (std::is_signed_v<T>) {
                auto i = signedInteger(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
                if (i) out = static_cast<T>(*i);
            } else {
                auto u = unsignedInteger(v, std::numeric_limits<T>::max());
                if (u) out = static_cast<T>(*u);
            }
            if (!out) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            return *out;
        } else if constexpr (std::is_floating_point_v<T>) {
            if (!v.isNumber()) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            const double d = v.doubleValue();
            if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<T>::max())) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            return static_cast<T>(d);
        } else if constexpr (std::is_same_v<T, std::string>) {
            if (v.kind() != JSONNode::Kind::string) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            return std::string(v.stringValue());
        } else if constexpr (IsVector<T>::value) {
            if (v.kind() != JSONNode::Kind::array) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            return decodeArray<T>(v, state, path);
        } else if constexpr (IsStringMap<T>::value) {
            if (v.kind() != JSONNode::Kind::object) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            T out;
            for (const auto& [key, value] : objectFields(v)) {
                const PathLink child{path, key};
                out.insert_or_assign(std::string(key), decodeValue<typename T::mapped_type>(value, state, &child));
                if (state.error) return T{};
            }
            return out;
        } else if constexpr (KeyedDecodable<T>) {
            if (v.kind() != JSONNode::Kind::object) {
                failMismatch(state, typeName<T>(), v, path);
                return T{};
            }
            return decodeKeyed<T>(v, state, path);
        } else if constexpr (SingleValueDecodable<T>) {
            return decodeSingle<T>(v, state, path);
        } else {
            static_assert(sizeof(T) == 0, "type is not decodable: give it a static decode(container)");
        }
    }
}

EncodingError nonFinite(double value, const PathLink* path);

template <class T>
void encodeValue(const T& value, EncodingDocument& document, EncodingDocument::Slot slot, const PathLink* path) {
    if (document.failed()) return;
    if constexpr (std::is_same_v<T, JSONValue>) {
        document.setJSON(slot, value);
    } else if constexpr (std::is_same_v<T, bool>) {
        document.setBool(slot, value);
    } else if constexpr (isInteger<T>) {
        if constexpr (std::is_signed_v<T>) {
            document.setInteger(slot, static_cast<std::int64_t>(value));
        } else {
            document.setUnsigned(slot, static_cast<std::uint64_t>(value));
        }
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            document.setNull(slot);
            document.fail(nonFinite(static_cast<double>(value), path));
            return;
        }
        document.setDouble(slot, static_cast<double>(value));
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>) {
        document.setString(slot, value);
    } else if constexpr (IsOptional<T>::value) {
        if (!value) {
            document.setNull(slot);
            return;
        }
        encodeValue(*value, document, slot, path);
    } else if constexpr (IsVector<T>::value) {
        const EncodingDocument::Container array = document.setArray(slot);
        PathLink child{path, {}, 0, true};
        for (std::size_t i = 0; i < value.size(); ++i) {
            child.index = i;
            if constexpr (std::is_same_v<typename T::value_type, bool>) {
                document.setBool(document.appended(array), static_cast<bool>(value[i]));
            } else {
                encodeValue(value[i], document, document.appended(array), &child);
            }
            if (document.failed()) return;
        }
    } else if constexpr (IsStringMap<T>::value) {
        // Keys of a dictionary are its own: never converted.
        const EncodingDocument::Container object = document.setObject(slot);
        for (const auto& [k, v] : value) {
            const PathLink child{path, k};
            encodeValue(v, document, document.keyed(object, k, false), &child);
            if (document.failed()) return;
        }
    } else if constexpr (KeyedEncodable<T>) {
        KeyedEncodingContainer container(document, document.setObject(slot), path);
        value.encode(container);
    } else if constexpr (SingleValueEncodable<T>) {
        document.setNull(slot);
        SingleValueEncodingContainer container(document, slot, path);
        value.encode(container);
    } else {
        static_assert(sizeof(T) == 0, "type is not encodable: give it an encode(container) const");
    }
}

}  // namespace detail

}  // namespace foundation
