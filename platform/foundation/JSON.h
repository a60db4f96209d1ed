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

// JSON coding over nlohmann-json, for models decoded key by key.
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

struct DecodingState {
    KeyDecodingStrategy strategy = KeyDecodingStrategy::useDefaultKeys;
    std::optional<DecodingError> error;
    void fail(DecodingError e) {
        if (!error) error = std::move(e);
    }
};

struct EncodingState {
    KeyEncodingStrategy strategy = KeyEncodingStrategy::useDefaultKeys;
    std::optional<EncodingError> error;
    void fail(EncodingError e) {
        if (!error) error = std::move(e);
    }
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

// "a string", "null", "a number"...
std::string describeJSONKind(const JSONValue& v);
// The integral value of a JSON number within [min, max] of a 64-bit-or-smaller type.
std::optional<std::int64_t> signedInteger(const JSONValue& v, std::int64_t min, std::int64_t max);
std::optional<std::uint64_t> unsignedInteger(const JSONValue& v, std::uint64_t max);

DecodingError mismatch(const std::string& expected, const JSONValue& found, const CodingPath& path);

template <class T>
T decodeValue(const JSONValue& v, const std::shared_ptr<DecodingState>& state, const CodingPath& path);

template <class T>
JSONValue encodeValue(const T& value, const std::shared_ptr<EncodingState>& state, const CodingPath& path);

}  // namespace detail

// The fields of one JSON object, read by key.
class KeyedDecodingContainer {
  public:
    const CodingPath& codingPath() const { return path_; }
    // The keys of the object as the model sees them (converted when the decoder converts), in order.
    std::vector<std::string> allKeys() const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
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
            const JSONValue* v = find(key);
            if (!v) {
                state_->fail(DecodingError::keyNotFound(
                    std::string(key),
                    {path_, "No value associated with key \"" + std::string(key) + "\".", std::nullopt}));
                return T{};
            }
            return detail::decodeValue<T>(*v, state_, childPath(key));
        }
    }

    // Nothing when the key is absent or null; a value of the wrong type is still a type mismatch.
    template <class T>
    std::optional<T> decodeIfPresent(std::string_view key) const {
        if (state_->error) return std::nullopt;
        const JSONValue* v = find(key);
        if (!v || v->is_null()) return std::nullopt;
        T value = detail::decodeValue<T>(*v, state_, childPath(key));
        if (state_->error) return std::nullopt;
        return value;
    }

    KeyedDecodingContainer nestedContainer(std::string_view key) const;
    UnkeyedDecodingContainer nestedUnkeyedContainer(std::string_view key) const;

    // Records a failure of the model's own (the first failure wins).
    void fail(DecodingError error) const { state_->fail(std::move(error)); }
    // Records dataCorrupted at `key` with the description.
    void dataCorrupted(std::string_view key, std::string description) const;
    bool failed() const { return state_->error.has_value(); }
    // The JSON value under `key` as it is, when present.
    const JSONValue* rawValue(std::string_view key) const { return find(key); }

  private:
    template <class T>
    friend T detail::decodeValue(const JSONValue&, const std::shared_ptr<detail::DecodingState>&, const CodingPath&);
    friend class UnkeyedDecodingContainer;
    friend class JSONDecoder;
    KeyedDecodingContainer(const JSONValue* object, std::shared_ptr<detail::DecodingState> state, CodingPath path);
    const JSONValue* find(std::string_view key) const;
    CodingPath childPath(std::string_view key) const;

    const JSONValue* object_;  // an object, or nullptr for a container made after a failure
    std::shared_ptr<detail::DecodingState> state_;
    CodingPath path_;
    // Converted key -> key in the JSON, when the decoder converts from snake case.
    std::shared_ptr<const std::map<std::string, std::string, std::less<>>> converted_;
};

// The elements of one JSON array, read in order.
class UnkeyedDecodingContainer {
  public:
    const CodingPath& codingPath() const { return path_; }
    std::size_t count() const { return array_ ? array_->size() : 0; }
    bool isAtEnd() const { return index_ >= count(); }
    std::size_t currentIndex() const { return index_; }

    // The next element; past the end is valueNotFound.
    template <class T>
    T decode() {
        static_assert(std::is_default_constructible_v<T>, "decoded types must be default-constructible");
        if (state_->error) return T{};
        if (isAtEnd()) {
            failPastEnd(detail::typeName<T>());
            return T{};
        }
        const std::size_t i = index_++;
        return detail::decodeValue<T>((*array_)[i], state_, childPath(i));
    }
    // The next element, nothing when it is null (or when the array has ended).
    template <class T>
    std::optional<T> decodeIfPresent() {
        if (state_->error || isAtEnd()) return std::nullopt;
        const std::size_t i = index_++;
        if ((*array_)[i].is_null()) return std::nullopt;
        T value = detail::decodeValue<T>((*array_)[i], state_, childPath(i));
        if (state_->error) return std::nullopt;
        return value;
    }
    KeyedDecodingContainer nestedContainer();
    void fail(DecodingError error) const { state_->fail(std::move(error)); }
    bool failed() const { return state_->error.has_value(); }

  private:
    friend class KeyedDecodingContainer;
    friend class JSONDecoder;
    UnkeyedDecodingContainer(const JSONValue* array, std::shared_ptr<detail::DecodingState> state, CodingPath path);
    CodingPath childPath(std::size_t i) const;
    void failPastEnd(const std::string& type);

    const JSONValue* array_;
    std::shared_ptr<detail::DecodingState> state_;
    CodingPath path_;
    std::size_t index_ = 0;
};

// One JSON value, for types read from a single value.
class SingleValueDecodingContainer {
  public:
    const CodingPath& codingPath() const { return path_; }
    bool decodeNil() const { return value_->is_null(); }
    template <class T>
    T decode() const {
        if (state_->error) return T{};
        return detail::decodeValue<T>(*value_, state_, path_);
    }
    // Records dataCorrupted here ("Cannot initialize Kind from invalid String value x"...).
    void dataCorrupted(std::string description) const {
        state_->fail(DecodingError::dataCorrupted({path_, std::move(description), std::nullopt}));
    }
    void fail(DecodingError error) const { state_->fail(std::move(error)); }
    bool failed() const { return state_->error.has_value(); }

  private:
    template <class T>
    friend T detail::decodeValue(const JSONValue&, const std::shared_ptr<detail::DecodingState>&, const CodingPath&);
    SingleValueDecodingContainer(const JSONValue* value, std::shared_ptr<detail::DecodingState> state, CodingPath path)
        : value_(value), state_(std::move(state)), path_(std::move(path)) {}
    const JSONValue* value_;
    std::shared_ptr<detail::DecodingState> state_;
    CodingPath path_;
};

class JSONDecoder {
  public:
    KeyDecodingStrategy keyDecodingStrategy = KeyDecodingStrategy::useDefaultKeys;

    template <class T>
    std::expected<T, Error> decode(const Data& data) const {
        auto parsed = parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        if (!parsed) return std::unexpected(parsed.error());
        return decode<T>(*parsed);
    }
    template <class T>
    std::expected<T, Error> decode(std::string_view text) const {
        auto parsed = parse(text);
        if (!parsed) return std::unexpected(parsed.error());
        return decode<T>(*parsed);
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
        auto state = std::make_shared<detail::DecodingState>();
        state->strategy = keyDecodingStrategy;
        T result = detail::decodeValue<T>(value, state, {});
        if (state->error) return std::unexpected(Error(*state->error));
        return result;
    }

    // Parses JSON text; malformed text, invalid UTF-8 and nesting deeper than 512 levels are
    // dataCorrupted with the byte offset.
    static std::expected<JSONValue, Error> parse(std::string_view text);
};

// Writes the fields of one JSON object. Keys appear in the order they are first encoded; encoding a key
// again replaces its value in place.
class KeyedEncodingContainer {
  public:
    const CodingPath& codingPath() const { return path_; }

    template <class T>
    void encode(std::string_view key, const T& value) {
        if (state_->error) return;
        JSONValue v = detail::encodeValue(value, state_, childPath(key));
        node()[jsonKey(key)] = std::move(v);
    }
    void encode(std::string_view key, const char* value) { encode(key, std::string(value)); }
    // Leaves the key out when there is no value.
    template <class T>
    void encodeIfPresent(std::string_view key, const std::optional<T>& value) {
        if (value) encode(key, *value);
    }
    void encodeNil(std::string_view key) {
        if (!state_->error) node()[jsonKey(key)] = nullptr;
    }
    KeyedEncodingContainer nestedContainer(std::string_view key);
    UnkeyedEncodingContainer nestedUnkeyedContainer(std::string_view key);
    void fail(EncodingError error) { state_->fail(std::move(error)); }

  private:
    template <class T>
    friend JSONValue detail::encodeValue(const T&, const std::shared_ptr<detail::EncodingState>&, const CodingPath&);
    friend class UnkeyedEncodingContainer;
    struct Document {
        JSONValue root = JSONValue::object();
    };
    KeyedEncodingContainer(std::shared_ptr<Document> doc, std::vector<std::string> where,
                           std::shared_ptr<detail::EncodingState> state, CodingPath path);
    JSONValue& node();
    std::string jsonKey(std::string_view key) const;
    CodingPath childPath(std::string_view key) const;

    std::shared_ptr<Document> doc_;
    std::vector<std::string> where_;  // JSON pointer steps from the document root (escaped)
    std::shared_ptr<detail::EncodingState> state_;
    CodingPath path_;
};

// Appends the elements of one JSON array.
class UnkeyedEncodingContainer {
  public:
    const CodingPath& codingPath() const { return path_; }
    std::size_t count() const;
    template <class T>
    void encode(const T& value) {
        if (state_->error) return;
        JSONValue v = detail::encodeValue(value, state_, childPath(count()));
        node().push_back(std::move(v));
    }
    void encodeNil() {
        if (!state_->error) node().push_back(nullptr);
    }
    KeyedEncodingContainer nestedContainer();
    void fail(EncodingError error) { state_->fail(std::move(error)); }

  private:
    friend class KeyedEncodingContainer;
    using Document = KeyedEncodingContainer::Document;
    UnkeyedEncodingContainer(std::shared_ptr<Document> doc, std::vector<std::string> where,
                             std::shared_ptr<detail::EncodingState> state, CodingPath path);
    JSONValue& node() const;
    CodingPath childPath(std::size_t i) const;

    std::shared_ptr<Document> doc_;
    std::vector<std::string> where_;
    std::shared_ptr<detail::EncodingState> state_;
    CodingPath path_;
};

class SingleValueEncodingContainer {
  public:
    const CodingPath& codingPath() const { return path_; }
    template <class T>
    void encode(const T& value) {
        if (!state_->error) value_ = detail::encodeValue(value, state_, path_);
    }
    void encodeNil() { value_ = nullptr; }
    void fail(EncodingError error) { state_->fail(std::move(error)); }

  private:
    template <class T>
    friend JSONValue detail::encodeValue(const T&, const std::shared_ptr<detail::EncodingState>&, const CodingPath&);
    SingleValueEncodingContainer(std::shared_ptr<detail::EncodingState> state, CodingPath path)
        : state_(std::move(state)), path_(std::move(path)) {}
    JSONValue value_;
    std::shared_ptr<detail::EncodingState> state_;
    CodingPath path_;
};

class JSONEncoder {
  public:
    KeyEncodingStrategy keyEncodingStrategy = KeyEncodingStrategy::useDefaultKeys;

    // Compact JSON text (no blanks), keys in the order encoded. A non-finite number anywhere, or text
    // that is not valid UTF-8, is an EncodingError naming its key path; nothing is written as null silently.
    template <class T>
    std::expected<Data, Error> encode(const T& value) const {
        auto json = encodeToValue(value);
        if (!json) return std::unexpected(json.error());
        return serialize(*json);
    }
    template <class T>
    std::expected<JSONValue, Error> encodeToValue(const T& value) const {
        auto state = std::make_shared<detail::EncodingState>();
        state->strategy = keyEncodingStrategy;
        JSONValue json = detail::encodeValue(value, state, {});
        if (state->error) return std::unexpected(Error(*state->error));
        return json;
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

template <class T>
T decodeValue(const JSONValue& v, const std::shared_ptr<DecodingState>& state, const CodingPath& path) {
    static_assert(std::is_default_constructible_v<T>, "decoded types must be default-constructible");
    if (state->error) return T{};
    if constexpr (std::is_same_v<T, JSONValue>) {
        return v;
    } else if constexpr (IsOptional<T>::value) {
        if (v.is_null()) return std::nullopt;
        auto inner = decodeValue<typename T::value_type>(v, state, path);
        if (state->error) return std::nullopt;
        return T(std::move(inner));
    } else {
        if (v.is_null()) {
            state->fail(DecodingError::valueNotFound(
                typeName<T>(), {path, "Expected " + typeName<T>() + " value but found null instead", std::nullopt}));
            return T{};
        }
        if constexpr (std::is_same_v<T, bool>) {
            if (!v.is_boolean()) {
                state->fail(mismatch(typeName<T>(), v, path));
                return false;
            }
            return v.template get<bool>();
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
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            return *out;
        } else if constexpr (std::is_floating_point_v<T>) {
            if (!v.is_number()) {
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            const double d = v.template get<double>();
            if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<T>::max())) {
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            return static_cast<T>(d);
        } else if constexpr (std::is_same_v<T, std::string>) {
            if (!v.is_string()) {
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            return v.template get_ref<const std::string&>();
        } else if constexpr (IsVector<T>::value) {
            if (!v.is_array()) {
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            T out;
            out.reserve(v.size());
            CodingPath child = path;
            child.push_back(CodingKey::index(0));
            for (std::size_t i = 0; i < v.size(); ++i) {
                child.back() = CodingKey::index(i);
                out.push_back(decodeValue<typename T::value_type>(v[i], state, child));
                if (state->error) return T{};
            }
            return out;
        } else if constexpr (IsStringMap<T>::value) {
            if (!v.is_object()) {
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            T out;
            for (auto it = v.begin(); it != v.end(); ++it) {
                CodingPath child = path;
                child.push_back(CodingKey::key(it.key()));
                out.insert_or_assign(it.key(), decodeValue<typename T::mapped_type>(it.value(), state, child));
                if (state->error) return T{};
            }
            return out;
        } else if constexpr (KeyedDecodable<T>) {
            if (!v.is_object()) {
                state->fail(mismatch(typeName<T>(), v, path));
                return T{};
            }
            KeyedDecodingContainer container(&v, state, path);
            T out = T::decode(container);
            if (state->error) return T{};
            return out;
        } else if constexpr (SingleValueDecodable<T>) {
            SingleValueDecodingContainer container(&v, state, path);
            T out = T::decode(container);
            if (state->error) return T{};
            return out;
        } else {
            static_assert(sizeof(T) == 0, "type is not decodable: give it a static decode(container)");
        }
    }
}

EncodingError nonFinite(double value, const CodingPath& path);

template <class T>
JSONValue encodeValue(const T& value, const std::shared_ptr<EncodingState>& state, const CodingPath& path) {
    if (state->error) return nullptr;
    if constexpr (std::is_same_v<T, JSONValue>) {
        return value;
    } else if constexpr (std::is_same_v<T, bool>) {
        return value;
    } else if constexpr (isInteger<T>) {
        return value;
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            state->fail(nonFinite(static_cast<double>(value), path));
            return nullptr;
        }
        return value;
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>) {
        return std::string(value);
    } else if constexpr (IsOptional<T>::value) {
        if (!value) return nullptr;
        return encodeValue(*value, state, path);
    } else if constexpr (IsVector<T>::value) {
        JSONValue out = JSONValue::array();
        CodingPath child = path;
        child.push_back(CodingKey::index(0));
        for (std::size_t i = 0; i < value.size(); ++i) {
            child.back() = CodingKey::index(i);
            if constexpr (std::is_same_v<typename T::value_type, bool>) {
                out.push_back(static_cast<bool>(value[i]));
            } else {
                out.push_back(encodeValue(value[i], state, child));
            }
            if (state->error) return nullptr;
        }
        return out;
    } else if constexpr (IsStringMap<T>::value) {
        JSONValue out = JSONValue::object();
        for (const auto& [k, v] : value) {
            CodingPath child = path;
            child.push_back(CodingKey::key(k));
            out[k] = encodeValue(v, state, child);
            if (state->error) return nullptr;
        }
        return out;
    } else if constexpr (KeyedEncodable<T>) {
        auto doc = std::make_shared<KeyedEncodingContainer::Document>();
        KeyedEncodingContainer container(doc, {}, state, path);
        value.encode(container);
        if (state->error) return nullptr;
        return std::move(doc->root);
    } else if constexpr (SingleValueEncodable<T>) {
        SingleValueEncodingContainer container(state, path);
        value.encode(container);
        if (state->error) return nullptr;
        return std::move(container.value_);
    } else {
        static_assert(sizeof(T) == 0, "type is not encodable: give it an encode(container) const");
    }
}

}  // namespace detail

}  // namespace foundation
