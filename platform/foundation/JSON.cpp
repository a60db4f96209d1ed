#include "foundation/JSON.h"

#include <cctype>
#include <cstdio>
#include <sstream>

namespace foundation {

namespace {

constexpr int kMaximumNestingDepth = 512;

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string where(const CodingPath& path) {
    if (path.empty()) return "at the top level";
    return "key path " + quoted(describeCodingPath(path));
}

std::string formatNumber(const JSONValue& v) {
    if (v.is_number_float()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", v.get<double>());
        return buffer;
    }
    return v.dump();
}

}  // namespace

std::string describeCodingPath(const CodingPath& path) {
    std::string out;
    for (const auto& key : path) {
        if (key.intValue) {
            out += "[" + std::to_string(*key.intValue) + "]";
        } else {
            if (!out.empty()) out.push_back('.');
            out += key.stringValue;
        }
    }
    return out;
}

// ---- DecodingError ----

DecodingError DecodingError::typeMismatch(std::string expectedType, Context context) {
    return DecodingError(TypeMismatch{std::move(expectedType), std::move(context)});
}
DecodingError DecodingError::valueNotFound(std::string expectedType, Context context) {
    return DecodingError(ValueNotFound{std::move(expectedType), std::move(context)});
}
DecodingError DecodingError::keyNotFound(std::string key, Context context) {
    return DecodingError(KeyNotFound{std::move(key), std::move(context)});
}
DecodingError DecodingError::dataCorrupted(Context context) {
    return DecodingError(DataCorrupted{std::move(context)});
}

const DecodingError::Context& DecodingError::context() const {
    return std::visit([](const auto& c) -> const Context& { return c.context; }, value_);
}

std::string DecodingError::keyPath() const {
    if (const auto* k = std::get_if<KeyNotFound>(&value_)) {
        CodingPath path = k->context.codingPath;
        path.push_back(CodingKey::key(k->key));
        return describeCodingPath(path);
    }
    return describeCodingPath(context().codingPath);
}

std::optional<std::string> DecodingError::expectedType() const {
    if (const auto* t = std::get_if<TypeMismatch>(&value_)) return t->expectedType;
    if (const auto* v = std::get_if<ValueNotFound>(&value_)) return v->expectedType;
    return std::nullopt;
}

std::optional<std::string> DecodingError::key() const {
    if (const auto* k = std::get_if<KeyNotFound>(&value_)) return k->key;
    return std::nullopt;
}

std::string DecodingError::localizedDescription() const {
    const Context& c = context();
    if (const auto* k = std::get_if<KeyNotFound>(&value_)) {
        return "No value associated with key " + quoted(k->key) + " (key path " + quoted(keyPath()) + ").";
    }
    if (const auto* d = std::get_if<DataCorrupted>(&value_)) {
        std::string text = d->context.debugDescription;
        if (d->context.byteOffset) text += " (at byte " + std::to_string(*d->context.byteOffset) + ")";
        if (!d->context.codingPath.empty()) text += " (" + where(d->context.codingPath) + ")";
        return text;
    }
    return c.debugDescription + " (" + where(c.codingPath) + ").";
}

int DecodingError::code() const {
    return (isKeyNotFound() || isValueNotFound()) ? 4865 : 4864;
}

// ---- EncodingError ----

EncodingError EncodingError::invalidValue(std::string valueDescription, Context context) {
    return EncodingError(InvalidValue{std::move(valueDescription), std::move(context)});
}

std::string EncodingError::localizedDescription() const {
    std::string text = value_.context.debugDescription;
    if (text.empty()) text = "Invalid value " + value_.valueDescription + ".";
    return text + " (" + where(value_.context.codingPath) + ").";
}

// ---- key conversion ----

std::string convertFromSnakeCase(std::string_view key) {
    if (key.empty() || key.find('_') == std::string_view::npos) return std::string(key);
    std::size_t first = 0;
    while (first < key.size() && key[first] == '_') ++first;
    if (first == key.size()) return std::string(key);
    std::size_t last = key.size();
    while (last > first && key[last - 1] == '_') --last;
    std::string out(key.substr(0, first));
    bool firstWord = true;
    std::size_t i = first;
    while (i < last) {
        std::size_t next = key.find('_', i);
        if (next == std::string_view::npos || next > last) next = last;
        std::string_view word = key.substr(i, next - i);
        if (!word.empty()) {
            for (std::size_t j = 0; j < word.size(); ++j) {
                const auto c = static_cast<unsigned char>(word[j]);
                if (firstWord) {
                    out.push_back(static_cast<char>(std::tolower(c)));
                } else {
                    out.push_back(static_cast<char>(j == 0 ? std::toupper(c) : std::tolower(c)));
                }
            }
            firstWord = false;
        }
        i = next + 1;
    }
    out += key.substr(last);
    return out;
}

std::string convertToSnakeCase(std::string_view key) {
    std::string out;
    out.reserve(key.size() + 4);
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (std::isupper(c)) {
            const bool afterLower = i > 0 && (std::islower(static_cast<unsigned char>(key[i - 1])) ||
                                              std::isdigit(static_cast<unsigned char>(key[i - 1])));
            const bool endsAcronym = i > 0 && std::isupper(static_cast<unsigned char>(key[i - 1])) &&
                                     i + 1 < key.size() && std::islower(static_cast<unsigned char>(key[i + 1]));
            if ((afterLower || endsAcronym) && !out.empty() && out.back() != '_') out.push_back('_');
            out.push_back(static_cast<char>(std::tolower(c)));
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

// ---- detail ----

namespace detail {

std::string describeJSONKind(const JSONValue& v) {
    switch (v.type()) {
        case JSONValue::value_t::null:
            return "null";
        case JSONValue::value_t::boolean:
            return "a bool";
        case JSONValue::value_t::number_integer:
        case JSONValue::value_t::number_unsigned:
        case JSONValue::value_t::number_float:
            return "the number " + formatNumber(v);
        case JSONValue::value_t::string:
            return "a string";
        case JSONValue::value_t::array:
            return "an array";
        case JSONValue::value_t::object:
            return "a dictionary";
        default:
            return "an unsupported value";
    }
}

std::optional<std::int64_t> signedInteger(const JSONValue& v, std::int64_t min, std::int64_t max) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(max)) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) {
        const auto s = v.get<std::int64_t>();
        if (s < min || s > max) return std::nullopt;
        return s;
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!std::isfinite(d) || d != std::trunc(d)) return std::nullopt;
        if (!(d >= static_cast<double>(min) && d < static_cast<double>(max) + 1.0)) return std::nullopt;
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> unsignedInteger(const JSONValue& v, std::uint64_t max) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        if (u > max) return std::nullopt;
        return u;
    }
    if (v.is_number_integer()) {
        const auto s = v.get<std::int64_t>();
        if (s < 0 || static_cast<std::uint64_t>(s) > max) return std::nullopt;
        return static_cast<std::uint64_t>(s);
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!std::isfinite(d) || d != std::trunc(d)) return std::nullopt;
        if (!(d >= 0.0 && d < static_cast<double>(max) + 1.0)) return std::nullopt;
        return static_cast<std::uint64_t>(d);
    }
    return std::nullopt;
}

DecodingError mismatch(const std::string& expected, const JSONValue& found, const CodingPath& path) {
    std::string description = "Expected to decode " + expected + " but found " + describeJSONKind(found) + " instead";
    if (found.is_number() && (expected.rfind("Int", 0) == 0 || expected.rfind("UInt", 0) == 0)) {
        description = "The number " + formatNumber(found) + " is not representable as " + expected;
    } else if (found.is_number() && expected == "Float") {
        description = "The number " + formatNumber(found) + " does not fit in Float";
    }
    return DecodingError::typeMismatch(expected, {path, description, std::nullopt});
}

EncodingError nonFinite(double value, const CodingPath& path) {
    std::string name = std::isnan(value) ? "Double.nan" : (value > 0 ? "Double.infinity" : "-Double.infinity");
    return EncodingError::invalidValue(name, {path, "Unable to encode " + name + " directly in JSON"});
}

}  // namespace detail

// ---- KeyedDecodingContainer ----

KeyedDecodingContainer::KeyedDecodingContainer(const JSONValue* object, std::shared_ptr<detail::DecodingState> state,
                                               CodingPath path)
    : object_(object), state_(std::move(state)), path_(std::move(path)) {
    if (object_ && object_->is_object() && state_->strategy == KeyDecodingStrategy::convertFromSnakeCase) {
        auto map = std::make_shared<std::map<std::string, std::string, std::less<>>>();
        for (auto it = object_->begin(); it != object_->end(); ++it) {
            map->emplace(convertFromSnakeCase(it.key()), it.key());  // the first key of a converted name wins
        }
        converted_ = std::move(map);
    }
}

const JSONValue* KeyedDecodingContainer::find(std::string_view key) const {
    if (!object_ || !object_->is_object()) return nullptr;
    std::string_view jsonKey = key;
    if (converted_) {
        auto it = converted_->find(key);
        if (it == converted_->end()) return nullptr;
        jsonKey = it->second;
    }
    auto it = object_->find(std::string(jsonKey));
    if (it == object_->end()) return nullptr;
    return &*it;
}

CodingPath KeyedDecodingContainer::childPath(std::string_view key) const {
    CodingPath p = path_;
    p.push_back(CodingKey::key(std::string(key)));
    return p;
}

std::vector<std::string> KeyedDecodingContainer::allKeys() const {
    std::vector<std::string> keys;
    if (!object_ || !object_->is_object()) return keys;
    for (auto it = object_->begin(); it != object_->end(); ++it) {
        keys.push_back(converted_ ? convertFromSnakeCase(it.key()) : it.key());
    }
    return keys;
}

bool KeyedDecodingContainer::decodeNil(std::string_view key) const {
    const JSONValue* v = find(key);
    return !v || v->is_null();
}

KeyedDecodingContainer KeyedDecodingContainer::nestedContainer(std::string_view key) const {
    if (state_->error) return KeyedDecodingContainer(nullptr, state_, childPath(key));
    const JSONValue* v = find(key);
    if (!v) {
        state_->fail(DecodingError::keyNotFound(
            std::string(key), {path_, "No value associated with key \"" + std::string(key) + "\".", std::nullopt}));
        return KeyedDecodingContainer(nullptr, state_, childPath(key));
    }
    if (!v->is_object()) {
        if (v->is_null()) {
            state_->fail(DecodingError::valueNotFound(
                "Dictionary", {childPath(key), "Expected Dictionary value but found null instead", std::nullopt}));
        } else {
            state_->fail(detail::mismatch("Dictionary", *v, childPath(key)));
        }
        return KeyedDecodingContainer(nullptr, state_, childPath(key));
    }
    return KeyedDecodingContainer(v, state_, childPath(key));
}

UnkeyedDecodingContainer KeyedDecodingContainer::nestedUnkeyedContainer(std::string_view key) const {
    if (state_->error) return UnkeyedDecodingContainer(nullptr, state_, childPath(key));
    const JSONValue* v = find(key);
    if (!v) {
        state_->fail(DecodingError::keyNotFound(
            std::string(key), {path_, "No value associated with key \"" + std::string(key) + "\".", std::nullopt}));
        return UnkeyedDecodingContainer(nullptr, state_, childPath(key));
    }
    if (!v->is_array()) {
        if (v->is_null()) {
            state_->fail(DecodingError::valueNotFound(
                "Array", {childPath(key), "Expected Array value but found null instead", std::nullopt}));
        } else {
            state_->fail(detail::mismatch("Array", *v, childPath(key)));
        }
        return UnkeyedDecodingContainer(nullptr, state_, childPath(key));
    }
    return UnkeyedDecodingContainer(v, state_, childPath(key));
}

void KeyedDecodingContainer::dataCorrupted(std::string_view key, std::string description) const {
    state_->fail(DecodingError::dataCorrupted({childPath(key), std::move(description), std::nullopt}));
}

// ---- UnkeyedDecodingContainer ----

UnkeyedDecodingContainer::UnkeyedDecodingContainer(const JSONValue* array, std::shared_ptr<detail::DecodingState> state,
                                                   CodingPath path)
    : array_(array && array->is_array() ? array : nullptr), state_(std::move(state)), path_(std::move(path)) {}

CodingPath UnkeyedDecodingContainer::childPath(std::size_t i) const {
    CodingPath p = path_;
    p.push_back(CodingKey::index(i));
    return p;
}

void UnkeyedDecodingContainer::failPastEnd(const std::string& type) {
    state_->fail(DecodingError::valueNotFound(type, {childPath(index_), "Unkeyed container is at end", std::nullopt}));
}

KeyedDecodingContainer UnkeyedDecodingContainer::nestedContainer() {
    if (state_->error) return KeyedDecodingContainer(nullptr, state_, childPath(index_));
    if (isAtEnd()) {
        failPastEnd("Dictionary");
        return KeyedDecodingContainer(nullptr, state_, childPath(index_));
    }
    const std::size_t i = index_++;
    const JSONValue& v = (*array_)[i];
    if (!v.is_object()) {
        if (v.is_null()) {
            state_->fail(DecodingError::valueNotFound(
                "Dictionary", {childPath(i), "Expected Dictionary value but found null instead", std::nullopt}));
        } else {
            state_->fail(detail::mismatch("Dictionary", v, childPath(i)));
        }
        return KeyedDecodingContainer(nullptr, state_, childPath(i));
    }
    return KeyedDecodingContainer(&v, state_, childPath(i));
}

// ---- JSONDecoder ----

std::expected<JSONValue, Error> JSONDecoder::parse(std::string_view text) {
    bool tooDeep = false;
    JSONValue::parser_callback_t limitDepth = [&tooDeep](int depth, JSONValue::parse_event_t event, JSONValue&) {
        if ((event == JSONValue::parse_event_t::object_start || event == JSONValue::parse_event_t::array_start) &&
            depth >= kMaximumNestingDepth) {
            tooDeep = true;
            throw std::length_error("nesting too deep");
        }
        return true;
    };
    try {
        return JSONValue::parse(text.begin(), text.end(), limitDepth, true, false);
    } catch (const JSONValue::parse_error& e) {
        std::string reason = e.what();
        // nlohmann's text reads "[json.exception.parse_error.101] parse error at line 1, column 5: ...".
        if (auto colon = reason.find("]: "); colon != std::string::npos) reason = reason.substr(colon + 3);
        if (auto bracket = reason.find("] "); bracket != std::string::npos && reason.rfind("[json.", 0) == 0) {
            reason = reason.substr(bracket + 2);
        }
        const std::size_t offset = e.byte > 0 ? e.byte - 1 : 0;
        return std::unexpected(
            Error(DecodingError::dataCorrupted({{}, "The given data was not valid JSON: " + reason, offset})));
    } catch (const std::length_error&) {
        if (!tooDeep) throw;
        return std::unexpected(
            Error(DecodingError::dataCorrupted({{},
                                                "The given data was not valid JSON: nesting deeper than " +
                                                    std::to_string(kMaximumNestingDepth) + " levels",
                                                std::nullopt})));
    } catch (const JSONValue::exception& e) {
        return std::unexpected(Error(DecodingError::dataCorrupted(
            {{}, std::string("The given data was not valid JSON: ") + e.what(), std::nullopt})));
    }
}

// ---- encoding containers ----

KeyedEncodingContainer::KeyedEncodingContainer(std::shared_ptr<Document> doc, std::vector<std::string> where,
                                               std::shared_ptr<detail::EncodingState> state, CodingPath path)
    : doc_(std::move(doc)), where_(std::move(where)), state_(std::move(state)), path_(std::move(path)) {}

namespace {
JSONValue& resolve(JSONValue& root, const std::vector<std::string>& where) {
    JSONValue* node = &root;
    for (const auto& step : where) {
        if (node->is_array()) {
            node = &(*node)[static_cast<std::size_t>(std::stoull(step))];
        } else {
            node = &(*node)[step];
        }
    }
    return *node;
}
}  // namespace

JSONValue& KeyedEncodingContainer::node() {
    JSONValue& n = resolve(doc_->root, where_);
    if (!n.is_object()) n = JSONValue::object();
    return n;
}

std::string KeyedEncodingContainer::jsonKey(std::string_view key) const {
    if (state_->strategy == KeyEncodingStrategy::convertToSnakeCase) return convertToSnakeCase(key);
    return std::string(key);
}

CodingPath KeyedEncodingContainer::childPath(std::string_view key) const {
    CodingPath p = path_;
    p.push_back(CodingKey::key(std::string(key)));
    return p;
}

KeyedEncodingContainer KeyedEncodingContainer::nestedContainer(std::string_view key) {
    const std::string k = jsonKey(key);
    if (!state_->error) node()[k] = JSONValue::object();
    auto where = where_;
    where.push_back(k);
    return KeyedEncodingContainer(doc_, std::move(where), state_, childPath(key));
}

UnkeyedEncodingContainer KeyedEncodingContainer::nestedUnkeyedContainer(std::string_view key) {
    const std::string k = jsonKey(key);
    if (!state_->error) node()[k] = JSONValue::array();
    auto where = where_;
    where.push_back(k);
    return UnkeyedEncodingContainer(doc_, std::move(where), state_, childPath(key));
}

UnkeyedEncodingContainer::UnkeyedEncodingContainer(std::shared_ptr<Document> doc, std::vector<std::string> where,
                                                   std::shared_ptr<detail::EncodingState> state, CodingPath path)
    : doc_(std::move(doc)), where_(std::move(where)), state_(std::move(state)), path_(std::move(path)) {}

JSONValue& UnkeyedEncodingContainer::node() const {
    JSONValue& n = resolve(doc_->root, where_);
    if (!n.is_array()) n = JSONValue::array();
    return n;
}

std::size_t UnkeyedEncodingContainer::count() const {
    return node().size();
}

CodingPath UnkeyedEncodingContainer::childPath(std::size_t i) const {
    CodingPath p = path_;
    p.push_back(CodingKey::index(i));
    return p;
}

KeyedEncodingContainer UnkeyedEncodingContainer::nestedContainer() {
    const std::size_t i = count();
    if (!state_->error) node().push_back(JSONValue::object());
    auto where = where_;
    where.push_back(std::to_string(i));
    return KeyedEncodingContainer(doc_, std::move(where), state_, childPath(i));
}

// ---- JSONEncoder ----

namespace {
std::optional<EncodingError> findNonFinite(const JSONValue& v, CodingPath& path) {
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!std::isfinite(d)) return detail::nonFinite(d, path);
    } else if (v.is_array()) {
        for (std::size_t i = 0; i < v.size(); ++i) {
            path.push_back(CodingKey::index(i));
            if (auto e = findNonFinite(v[i], path)) return e;
            path.pop_back();
        }
    } else if (v.is_object()) {
        for (auto it = v.begin(); it != v.end(); ++it) {
            path.push_back(CodingKey::key(it.key()));
            if (auto e = findNonFinite(it.value(), path)) return e;
            path.pop_back();
        }
    }
    return std::nullopt;
}
}  // namespace

std::expected<Data, Error> JSONEncoder::serialize(const JSONValue& value) {
    CodingPath path;
    if (auto e = findNonFinite(value, path)) return std::unexpected(Error(*e));
    try {
        const std::string text = value.dump(-1, ' ', false, nlohmann::detail::error_handler_t::strict);
        return Data(text.begin(), text.end());
    } catch (const JSONValue::type_error& e) {
        return std::unexpected(Error(EncodingError::invalidValue(
            "invalid UTF-8 text", {{}, std::string("Unable to encode text that is not valid UTF-8: ") + e.what()})));
    }
}

std::expected<JSONValue, Error> JSONSerialization::jsonObject(const Data& data) {
    return JSONDecoder::parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace foundation
