#include "foundation/JSON.h"

#include <cctype>
#include <cstdio>
#include <deque>

#include "foundation/detail/JSONDocument.h"

namespace foundation {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string where(const CodingPath& path) {
    if (path.empty()) return "at the top level";
    return "key path " + quoted(describeCodingPath(path));
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

// ---- detail ----

namespace detail {

std::string describeJSONKind(const JSONNode& v) {
    switch (v.kind()) {
        case JSONNode::Kind::null:
            return "null";
        case JSONNode::Kind::boolean:
            return "a bool";
        case JSONNode::Kind::integer:
        case JSONNode::Kind::unsignedInteger:
        case JSONNode::Kind::floating:
            return "the number " + formatNumber(v);
        case JSONNode::Kind::string:
            return "a string";
        case JSONNode::Kind::array:
            return "an array";
        case JSONNode::Kind::object:
            return "a dictionary";
    }
    return "an unsupported value";
}

struct ConvertedKeys {
    std::map<std::string, std::string_view, std::less<>> keys;
};

struct DecodingState::Storage {
    std::deque<PathLink> links;
    std::deque<std::string> keys;
    std::deque<CodingPath> paths;
    std::deque<JSONValue> values;
    std::deque<ConvertedKeys> converted;
};

namespace {

// The index tables of finished decodes, kept for the next decodes on the same thread (a decode inside a
// model's decode takes its own). Tables grown past what a model needs are not kept.
struct IndexTables {
    std::vector<IndexedField> fields;
    std::vector<std::uint32_t> slots;
};
constexpr std::size_t kKeptIndexedFields = 1024;
constexpr std::size_t kKeptIndexTables = 2;

std::vector<IndexTables>& keptIndexTables() {
    thread_local std::vector<IndexTables> kept;
    return kept;
}

}  // namespace

DecodingState::DecodingState(KeyDecodingStrategy s) : strategy(s) {
    auto& kept = keptIndexTables();
    if (kept.empty()) return;
    indexedFields.swap(kept.back().fields);
    indexSlots.swap(kept.back().slots);
    kept.pop_back();
}

DecodingState::~DecodingState() {
    if (indexedFields.capacity() == 0 || indexedFields.capacity() > kKeptIndexedFields ||
        indexSlots.capacity() > 4 * kKeptIndexedFields) {
        return;
    }
    auto& kept = keptIndexTables();
    if (kept.size() >= kKeptIndexTables) return;
    indexedFields.clear();
    indexSlots.clear();
    kept.push_back({std::move(indexedFields), std::move(indexSlots)});
}

DecodingState::Storage& DecodingState::storage() {
    if (!storage_) storage_ = std::make_unique<Storage>();
    return *storage_;
}

CodingPath codingPathOf(const PathLink* link) {
    std::size_t depth = 0;
    for (const PathLink* l = link; l; l = l->parent) ++depth;
    CodingPath path(depth);
    for (const PathLink* l = link; l; l = l->parent) {
        path[--depth] = l->isIndex ? CodingKey::index(l->index) : CodingKey::key(std::string(l->key));
    }
    return path;
}

void failMismatch(DecodingState& state, const std::string& expected, const JSONNode& found, const PathLink* path) {
    std::string description = "Expected to decode " + expected + " but found " + describeJSONKind(found) + " instead";
    if (found.isNumber() && (expected.rfind("Int", 0) == 0 || expected.rfind("UInt", 0) == 0)) {
        description = "The number " + formatNumber(found) + " is not representable as " + expected;
    } else if (found.isNumber() && expected == "Float") {
        description = "The number " + formatNumber(found) + " does not fit in Float";
    }
    state.fail(DecodingError::typeMismatch(expected, {codingPathOf(path), description, std::nullopt}));
}

void failNull(DecodingState& state, const std::string& expected, const PathLink* path) {
    state.fail(DecodingError::valueNotFound(
        expected, {codingPathOf(path), "Expected " + expected + " value but found null instead", std::nullopt}));
}

}  // namespace detail

// ---- KeyedDecodingContainer ----

KeyedDecodingContainer::KeyedDecodingContainer(const detail::JSONNode* object, detail::DecodingState& state,
                                               const detail::PathLink* path)
    : state_(&state), path_(path) {
    if (!object || object->kind() != detail::JSONNode::Kind::object) return;
    object_ = *object;
    hasObject_ = true;
    if (state.strategy == KeyDecodingStrategy::convertFromSnakeCase) {
        auto& converted = state.storage().converted.emplace_back();
        for (const auto& [key, value] : detail::objectFields(object_)) {
            converted.keys.emplace(convertFromSnakeCase(key), key);  // the first key of a converted name wins
        }
        converted_ = &converted;
    }
}

bool KeyedDecodingContainer::search(std::string_view key, detail::JSONNode& value, std::string_view* stableKey) const {
    if (!hasObject_) return false;
    if (converted_) {
        auto it = converted_->keys.find(key);
        if (it == converted_->keys.end()) return false;
        if (stableKey) *stableKey = it->first;
        return detail::findIndexedField(object_, index_, *state_, it->second, value, nullptr);
    }
    return detail::findIndexedField(object_, index_, *state_, key, value, stableKey);
}

void KeyedDecodingContainer::failKeyNotFound(std::string_view key) const {
    state_->fail(DecodingError::keyNotFound(
        std::string(key),
        {detail::codingPathOf(path_), "No value associated with key \"" + std::string(key) + "\".", std::nullopt}));
}

const detail::PathLink* KeyedDecodingContainer::nestedLink(std::string_view key, std::string_view stableKey) const {
    auto& storage = state_->storage();
    if (stableKey.empty() && !key.empty()) stableKey = storage.keys.emplace_back(key);
    return &storage.links.emplace_back(detail::PathLink{path_, stableKey});
}

const CodingPath& KeyedDecodingContainer::codingPath() const {
    if (!codingPath_) codingPath_ = &state_->storage().paths.emplace_back(detail::codingPathOf(path_));
    return *codingPath_;
}

std::vector<std::string> KeyedDecodingContainer::allKeys() const {
    std::vector<std::string> keys;
    if (!hasObject_) return keys;
    for (const auto& [key, value] : detail::objectFields(object_)) {
        keys.push_back(converted_ ? convertFromSnakeCase(key) : std::string(key));
    }
    return keys;
}

bool KeyedDecodingContainer::decodeNil(std::string_view key) const {
    detail::JSONNode v;
    return !find(key, v) || v.isNull();
}

const JSONValue* KeyedDecodingContainer::rawValue(std::string_view key) const {
    detail::JSONNode v;
    if (!find(key, v)) return nullptr;
    return &state_->storage().values.emplace_back(detail::toJSONValue(v));
}

KeyedDecodingContainer KeyedDecodingContainer::nestedContainer(std::string_view key) const {
    if (state_->error) return KeyedDecodingContainer(nullptr, *state_, nestedLink(key, {}));
    detail::JSONNode v;
    std::string_view stableKey;
    if (!find(key, v, &stableKey)) {
        failKeyNotFound(key);
        return KeyedDecodingContainer(nullptr, *state_, nestedLink(key, {}));
    }
    const detail::PathLink* link = nestedLink(key, stableKey);
    if (v.kind() != detail::JSONNode::Kind::object) {
        if (v.isNull()) {
            detail::failNull(*state_, "Dictionary", link);
        } else {
            detail::failMismatch(*state_, "Dictionary", v, link);
        }
        return KeyedDecodingContainer(nullptr, *state_, link);
    }
    return KeyedDecodingContainer(&v, *state_, link);
}

UnkeyedDecodingContainer KeyedDecodingContainer::nestedUnkeyedContainer(std::string_view key) const {
    if (state_->error) return UnkeyedDecodingContainer(nullptr, *state_, nestedLink(key, {}));
    detail::JSONNode v;
    std::string_view stableKey;
    if (!find(key, v, &stableKey)) {
        failKeyNotFound(key);
        return UnkeyedDecodingContainer(nullptr, *state_, nestedLink(key, {}));
    }
    const detail::PathLink* link = nestedLink(key, stableKey);
    if (v.kind() != detail::JSONNode::Kind::array) {
        if (v.isNull()) {
            detail::failNull(*state_, "Array", link);
        } else {
            detail::failMismatch(*state_, "Array", v, link);
        }
        return UnkeyedDecodingContainer(nullptr, *state_, link);
    }
    return UnkeyedDecodingContainer(&v, *state_, link);
}

void KeyedDecodingContainer::dataCorrupted(std::string_view key, std::string description) const {
    const detail::PathLink child{path_, key};
    state_->fail(DecodingError::dataCorrupted({detail::codingPathOf(&child), std::move(description), std::nullopt}));
}

// ---- UnkeyedDecodingContainer ----

UnkeyedDecodingContainer::UnkeyedDecodingContainer(const detail::JSONNode* array, detail::DecodingState& state,
                                                   const detail::PathLink* path)
    : state_(&state), path_(path) {
    if (array && array->kind() == detail::JSONNode::Kind::array) cursor_ = detail::JSONArrayCursor(*array);
}

const CodingPath& UnkeyedDecodingContainer::codingPath() const {
    if (!codingPath_) codingPath_ = &state_->storage().paths.emplace_back(detail::codingPathOf(path_));
    return *codingPath_;
}

void UnkeyedDecodingContainer::failPastEnd(const std::string& type) {
    const detail::PathLink child{path_, {}, cursor_.index(), true};
    state_->fail(DecodingError::valueNotFound(
        type, {detail::codingPathOf(&child), "Unkeyed container is at end", std::nullopt}));
}

KeyedDecodingContainer UnkeyedDecodingContainer::nestedContainer() {
    auto& links = state_->storage().links;
    const detail::PathLink* link = &links.emplace_back(detail::PathLink{path_, {}, cursor_.index(), true});
    if (state_->error) return KeyedDecodingContainer(nullptr, *state_, link);
    if (isAtEnd()) {
        failPastEnd("Dictionary");
        return KeyedDecodingContainer(nullptr, *state_, link);
    }
    const detail::JSONNode v = cursor_.current();
    cursor_.advance();
    if (v.kind() != detail::JSONNode::Kind::object) {
        if (v.isNull()) {
            detail::failNull(*state_, "Dictionary", link);
        } else {
            detail::failMismatch(*state_, "Dictionary", v, link);
        }
        return KeyedDecodingContainer(nullptr, *state_, link);
    }
    return KeyedDecodingContainer(&v, *state_, link);
}

// ---- SingleValueDecodingContainer ----

const CodingPath& SingleValueDecodingContainer::codingPath() const {
    if (!codingPath_) codingPath_ = &state_->storage().paths.emplace_back(detail::codingPathOf(path_));
    return *codingPath_;
}

void SingleValueDecodingContainer::dataCorrupted(std::string description) const {
    state_->fail(DecodingError::dataCorrupted({detail::codingPathOf(path_), std::move(description), std::nullopt}));
}

// ---- JSONDecoder ----

std::expected<JSONValue, Error> JSONDecoder::parse(std::string_view text) {
    detail::ParsedJSON parsed;
    if (auto failure = parsed.parse(text)) return std::unexpected(std::move(*failure));
    return detail::toJSONValue(parsed.root());
}

std::expected<JSONValue, Error> JSONSerialization::jsonObject(const Data& data) {
    return JSONDecoder::parse(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace foundation
