// The encoding side of JSON.h: the document one encode writes into, its containers, and the writer of
// compact text shared by the encoder and JSONSerialization.
#include <simdjson.h>

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>

#include "foundation/JSON.h"

namespace foundation {

namespace {

constexpr std::uint32_t kNone = 0xffffffffu;
// An object with more keys than this finds a key again through the document's hash table.
constexpr std::uint32_t kWalkedKeys = 16;

// What a byte of text needs when it is written: nothing, an escape, or (a byte of a multi-byte sequence) a
// check of the whole text's UTF-8.
enum : std::uint8_t { kPlain = 0, kEscaped = 1, kHigh = 2 };
constexpr std::array<std::uint8_t, 256> kByteClass = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = kEscaped;
    table['"'] = kEscaped;
    table['\\'] = kEscaped;
    for (int c = 0x80; c < 0x100; ++c) table[c] = kHigh;
    return table;
}();

// The error nlohmann-json gives for text that is not valid UTF-8 (its message names the byte), which the
// encoder's errors have always carried.
std::optional<EncodingError> invalidText(std::string_view text) {
    try {
        (void)JSONValue(std::string(text)).dump(-1, ' ', false, JSONValue::error_handler_t::strict);
    } catch (const JSONValue::type_error& e) {
        return EncodingError::invalidValue(
            "invalid UTF-8 text", {{}, std::string("Unable to encode text that is not valid UTF-8: ") + e.what()});
    }
    return std::nullopt;
}

// "firstName" -> "first_name", appended to `out`.
void appendSnakeCase(std::string& out, std::string_view key) {
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (std::isupper(c)) {
            const bool afterLower = i > 0 && (std::islower(static_cast<unsigned char>(key[i - 1])) ||
                                              std::isdigit(static_cast<unsigned char>(key[i - 1])));
            const bool endsAcronym = i > 0 && std::isupper(static_cast<unsigned char>(key[i - 1])) &&
                                     i + 1 < key.size() && std::islower(static_cast<unsigned char>(key[i + 1]));
            if ((afterLower || endsAcronym) && out.size() > start && out.back() != '_') out.push_back('_');
            out.push_back(static_cast<char>(std::tolower(c)));
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

std::uint32_t hashKey(std::uint32_t container, std::string_view key) {
    std::uint32_t h = 2166136261u ^ (container * 0x9e3779b9u);
    for (unsigned char c : key) h = (h ^ c) * 16777619u;
    return h ^ (h >> 15);
}

}  // namespace

namespace detail {

EncodingError nonFinite(double value, const PathLink* path) {
    std::string name = std::isnan(value) ? "Double.nan" : (value > 0 ? "Double.infinity" : "-Double.infinity");
    return EncodingError::invalidValue(name, {codingPathOf(path), "Unable to encode " + name + " directly in JSON"});
}

namespace {

// Compact JSON text, written as nlohmann-json's compact dump writes it: the same escapes (the two-letter
// ones, \u00xx for other control characters, nothing else), the same numbers (its shortest round-trip
// form of a double), keys in their order. Text that is not valid UTF-8 is the first failure kept; a
// number that is not finite inside a JSON value ends the writing.
class TextWriter {
  public:
    explicit TextWriter(std::size_t expected) { out_.resize(expected); }

    [[gnu::always_inline]] void put(char c) {
        if (size_ == out_.size()) grow(1);
        out_[size_++] = static_cast<std::uint8_t>(c);
    }
    void put(std::string_view s) { put(s.data(), s.size()); }
    [[gnu::always_inline]] void put(const char* data, std::size_t size) {
        if (size > out_.size() - size_) grow(size);
        copy(data, size);
    }

    void text(std::string_view s) {
        // Room for the text as it is and its quotes; an escape makes room for itself.
        if (s.size() + 2 > out_.size() - size_) grow(s.size() + 2);
        char* w = reinterpret_cast<char*>(out_.data()) + size_;
        *w++ = '"';
        const char* p = s.data();
        const char* end = p + s.size();
        std::uint64_t high = kHighBytes;  // high bytes need a look until the first has been seen
        while (p != end) {
            // Eight bytes at a time while none of them needs a look; otherwise those eight one by one.
            const char* stop = end;
            if (end - p >= 8) {
                std::uint64_t word;
                std::memcpy(&word, p, sizeof word);
                if (!needsLook(word, high)) {
                    std::memcpy(w, &word, sizeof word);
                    w += 8;
                    p += 8;
                    continue;
                }
                stop = p + 8;
            }
            for (; p != stop; ++p) {
                const auto c = static_cast<unsigned char>(*p);
                const std::uint8_t kind = kByteClass[c];
                if (kind == kEscaped) {
                    size_ = static_cast<std::size_t>(w - reinterpret_cast<char*>(out_.data()));
                    escape(c, static_cast<std::size_t>(end - p));  // the rest after it, and the closing quote
                    w = reinterpret_cast<char*>(out_.data()) + size_;
                    continue;
                }
                if (kind == kHigh) high = 0;
                *w++ = static_cast<char>(c);
            }
        }
        *w++ = '"';
        size_ = static_cast<std::size_t>(w - reinterpret_cast<char*>(out_.data()));
        if (high == 0 && !badText_) checkUTF8(s);
    }

    void number(double value) {
        std::array<char, 64> buffer;
        const char* end = nlohmann::detail::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
        put(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    }
    template <class Integer>
    void integer(Integer value) {
        std::array<char, 24> buffer;
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
        put(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
    }

    // A JSON value as it is; a number in it that is not finite is the error returned.
    std::optional<EncodingError> json(const JSONValue& value, const PathLink* path) {
        using Type = JSONValue::value_t;
        switch (value.type()) {
            case Type::null:
                put("null");
                break;
            case Type::boolean:
                put(value.get<bool>() ? "true" : "false");
                break;
            case Type::number_integer:
                integer(value.get<std::int64_t>());
                break;
            case Type::number_unsigned:
                integer(value.get<std::uint64_t>());
                break;
            case Type::number_float: {
                const double d = value.get<double>();
                if (!std::isfinite(d)) return nonFinite(d, path);
                number(d);
                break;
            }
            case Type::string:
                text(value.get_ref<const std::string&>());
                break;
            case Type::array: {
                // The elements and fields themselves, without the value's iterators.
                put('[');
                PathLink child{path, {}, 0, true};
                for (const auto& element : value.get_ref<const JSONValue::array_t&>()) {
                    if (child.index > 0) put(',');
                    if (auto e = json(element, &child)) return e;
                    ++child.index;
                }
                put(']');
                break;
            }
            case Type::object: {
                put('{');
                bool first = true;
                for (const auto& [key, field] : value.get_ref<const JSONValue::object_t&>()) {
                    if (!first) put(',');
                    first = false;
                    text(key);
                    put(':');
                    const PathLink child{path, key};
                    if (auto e = json(field, &child)) return e;
                }
                put('}');
                break;
            }
            case Type::binary:
            case Type::discarded:
                put(value.dump());
                break;
        }
        return std::nullopt;
    }

    const std::optional<EncodingError>& badText() const { return badText_; }
    Data take() {
        out_.resize(size_);
        return std::move(out_);
    }

  private:
    static constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    static constexpr std::uint64_t kHighBytes = 0x8080808080808080ull;

    // Whether a byte of the word is a control character, a quote or a backslash, or (with `high` set to the
    // high bits) a byte of a multi-byte sequence.
    static bool needsLook(std::uint64_t word, std::uint64_t high) {
        const auto zeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighBytes; };
        const std::uint64_t control = (word - kOnes * 0x20) & ~word & kHighBytes;
        return (control | zeroByte(word ^ (kOnes * '"')) | zeroByte(word ^ (kOnes * '\\')) | (word & high)) != 0;
    }

    // With the room made.
    void copy(const char* data, std::size_t size) {
        if (size > 0) std::memcpy(out_.data() + size_, data, size);
        size_ += size;
    }
    [[gnu::noinline]] void grow(std::size_t more) { out_.resize(std::max(out_.size() * 2, size_ + more + 64)); }

    // Keeps the failure of text that is not valid UTF-8 (the first such text; the writing goes on).
    [[gnu::noinline]] void checkUTF8(std::string_view s) {
        if (!simdjson::validate_utf8(s.data(), s.size())) badText_ = invalidText(s);
    }

    // Writes the escape of `c` with room left for the `rest` bytes that follow it.
    [[gnu::noinline]] void escape(std::uint8_t c, std::size_t rest) {
        if (out_.size() - size_ < 6 + rest) grow(6 + rest);
        char* w = reinterpret_cast<char*>(out_.data()) + size_;
        w[0] = '\\';
        char letter = 0;
        switch (c) {
            case '"':
                letter = '"';
                break;
            case '\\':
                letter = '\\';
                break;
            case '\b':
                letter = 'b';
                break;
            case '\t':
                letter = 't';
                break;
            case '\n':
                letter = 'n';
                break;
            case '\f':
                letter = 'f';
                break;
            case '\r':
                letter = 'r';
                break;
            default:
                break;
        }
        if (letter != 0) {
            w[1] = letter;
            size_ += 2;
        } else {
            static constexpr char hex[] = "0123456789abcdef";
            w[1] = 'u';
            w[2] = '0';
            w[3] = '0';
            w[4] = hex[c >> 4];
            w[5] = hex[c & 0x0f];
            size_ += 6;
        }
    }

    Data out_;  // written up to size_
    std::size_t size_ = 0;
    std::optional<EncodingError> badText_;
};

}  // namespace

// ---- the document ----

struct EncodingDocument::Value {
    enum class Kind : std::uint8_t { null, boolean, integer, unsignedInteger, floating, string, object, array, json };
    Kind kind = Kind::null;
    union {
        bool boolean;
        std::int64_t integer = 0;
        std::uint64_t unsignedInteger;
        double floating;
        std::size_t offset;   // string: where it starts in the document's text
        std::uint32_t index;  // object, array: its container; json: its value
    };
    std::size_t size = 0;  // string: its length
};

struct EncodingDocument::Member {
    Value value;
    std::size_t keyOffset = 0;  // in the document's text (object members)
    std::size_t keySize = 0;
    std::uint32_t next = kNone;  // the next member of its container
    std::uint32_t owner = 0;     // its container
};

struct EncodingDocument::ContainerRecord {
    std::uint32_t first = kNone;
    std::uint32_t last = kNone;
    std::uint32_t count = 0;
    bool isObject = false;
    bool indexed = false;  // its keys are in the hash table
};

// What a document holds. The storage of finished encodes is kept for the next ones on the same thread (an
// encode inside a model's encode takes its own); storage grown past what a request body needs is not kept.
struct EncodingDocument::Storage {
    std::vector<Member> members;  // the root first
    std::vector<ContainerRecord> containers;
    std::string text;  // keys and text values
    std::vector<JSONValue> json;
    struct IndexEntry {
        std::uint32_t member = 0;  // + 1; 0: empty
        std::uint32_t hash = 0;
    };
    std::vector<IndexEntry> table;  // the keys of large objects, by hash
    std::size_t tableCount = 0;
    // Steps of nested containers, their keys, written-out coding paths.
    std::deque<PathLink> links;
    std::deque<std::string> keys;
    std::deque<CodingPath> paths;

    static constexpr std::size_t kKept = 2;
    static constexpr std::size_t kKeptBytes = 128 * 1024;

    static std::vector<std::unique_ptr<Storage>>& kept() {
        thread_local std::vector<std::unique_ptr<Storage>> storages;
        return storages;
    }
    static std::unique_ptr<Storage> take() {
        auto& storages = kept();
        if (storages.empty()) return std::make_unique<Storage>();
        auto storage = std::move(storages.back());
        storages.pop_back();
        return storage;
    }
    static void give(std::unique_ptr<Storage> storage) {
        auto& storages = kept();
        if (storages.size() >= kKept || storage->text.capacity() > kKeptBytes ||
            storage->members.capacity() * sizeof(Member) > kKeptBytes ||
            storage->table.capacity() * sizeof(IndexEntry) > kKeptBytes) {
            return;
        }
        storage->members.clear();
        storage->containers.clear();
        storage->text.clear();
        storage->json.clear();
        storage->table.clear();
        storage->tableCount = 0;
        storage->links.clear();
        storage->keys.clear();
        storage->paths.clear();
        storages.push_back(std::move(storage));
    }
};

EncodingDocument::EncodingDocument(KeyEncodingStrategy strategy) : strategy_(strategy), storage_(Storage::take()) {
    storage_->members.emplace_back();  // the root, null until written
}

EncodingDocument::~EncodingDocument() {
    Storage::give(std::move(storage_));
}

EncodingDocument::Member& EncodingDocument::member(Slot slot) {
    return storage_->members[slot];
}

void EncodingDocument::setNull(Slot slot) {
    member(slot).value = Value{};
}

void EncodingDocument::setBool(Slot slot, bool value) {
    Value& v = member(slot).value;
    v = Value{};
    v.kind = Value::Kind::boolean;
    v.boolean = value;
}

void EncodingDocument::setInteger(Slot slot, std::int64_t value) {
    Value& v = member(slot).value;
    v.kind = Value::Kind::integer;
    v.integer = value;
}

void EncodingDocument::setUnsigned(Slot slot, std::uint64_t value) {
    Value& v = member(slot).value;
    v.kind = Value::Kind::unsignedInteger;
    v.unsignedInteger = value;
}

void EncodingDocument::setDouble(Slot slot, double value) {
    Value& v = member(slot).value;
    v.kind = Value::Kind::floating;
    v.floating = value;
}

void EncodingDocument::setString(Slot slot, std::string_view value) {
    std::string& text = storage_->text;
    Value& v = member(slot).value;
    v.kind = Value::Kind::string;
    v.offset = text.size();
    v.size = value.size();
    text.append(value);
}

void EncodingDocument::setJSON(Slot slot, const JSONValue& value) {
    auto& json = storage_->json;
    Value& v = member(slot).value;
    v.kind = Value::Kind::json;
    v.index = static_cast<std::uint32_t>(json.size());
    json.push_back(value);
}

EncodingDocument::Container EncodingDocument::addContainer(Slot slot, bool isObject) {
    auto& containers = storage_->containers;
    const auto id = static_cast<Container>(containers.size());
    containers.push_back(ContainerRecord{.isObject = isObject});
    Value& v = member(slot).value;
    v.kind = isObject ? Value::Kind::object : Value::Kind::array;
    v.index = id;
    return id;
}

EncodingDocument::Container EncodingDocument::setObject(Slot slot) {
    return addContainer(slot, true);
}

EncodingDocument::Container EncodingDocument::setArray(Slot slot) {
    return addContainer(slot, false);
}

EncodingDocument::Slot EncodingDocument::append(Container container) {
    auto& members = storage_->members;
    const auto slot = static_cast<Slot>(members.size());
    members.emplace_back().owner = container;
    ContainerRecord& record = storage_->containers[container];
    if (record.last == kNone) {
        record.first = slot;
    } else {
        members[record.last].next = slot;
    }
    record.last = slot;
    ++record.count;
    return slot;
}

EncodingDocument::Slot EncodingDocument::appended(Container array) {
    return append(array);
}

std::size_t EncodingDocument::count(Container container) const {
    return storage_->containers[container].count;
}

EncodingDocument::Slot EncodingDocument::keyed(Container object, std::string_view key, bool convert) {
    Storage& s = *storage_;
    const std::size_t keyOffset = s.text.size();
    const bool converted = convert && strategy_ == KeyEncodingStrategy::convertToSnakeCase;
    if (converted) appendSnakeCase(s.text, key);
    // The key as written: converted at the end of the text (taken back when the key is found), or as given.
    const std::string_view name = converted ? std::string_view(s.text).substr(keyOffset) : key;

    std::optional<Slot> found;
    std::uint32_t hash = 0;
    const bool indexed = s.containers[object].indexed;
    if (indexed) {
        hash = hashKey(object, name);
        found = findIndexed(object, name, hash);
    } else {
        for (std::uint32_t m = s.containers[object].first; m != kNone; m = s.members[m].next) {
            const Member& candidate = s.members[m];
            if (candidate.keySize == name.size() && (name.empty() || s.text[candidate.keyOffset] == name[0]) &&
                std::memcmp(s.text.data() + candidate.keyOffset, name.data(), name.size()) == 0) {
                found = m;
                break;
            }
        }
    }
    if (found) {
        if (converted) s.text.resize(keyOffset);
        s.members[*found].value = Value{};
        return *found;
    }

    const std::size_t keySize = name.size();
    if (!converted) s.text.append(key);
    const Slot slot = append(object);
    Member& m = s.members[slot];
    m.keyOffset = keyOffset;
    m.keySize = keySize;
    if (indexed) {
        insertIndexed(slot, hash);
    } else if (s.containers[object].count > kWalkedKeys) {
        index(object);
    }
    return slot;
}

void EncodingDocument::insertIndexed(Slot slot, std::uint32_t hash) {
    Storage& s = *storage_;
    if (s.table.empty()) {
        s.table.assign(64, {});  // the kept storage's room, when it has some
    } else if ((s.tableCount + 1) * 2 > s.table.size()) {
        // Grown to twice what it holds, every key placed again by the hash it keeps.
        std::vector<Storage::IndexEntry> old = std::move(s.table);
        s.table.assign(old.size() * 2, {});
        const std::size_t mask = s.table.size() - 1;
        for (const Storage::IndexEntry& entry : old) {
            if (entry.member == 0) continue;
            std::size_t i = entry.hash & mask;
            while (s.table[i].member != 0) i = (i + 1) & mask;
            s.table[i] = entry;
        }
    }
    const std::size_t mask = s.table.size() - 1;
    std::size_t i = hash & mask;
    while (s.table[i].member != 0) i = (i + 1) & mask;
    s.table[i] = {slot + 1, hash};
    ++s.tableCount;
}

void EncodingDocument::index(Container container) {
    Storage& s = *storage_;
    s.containers[container].indexed = true;
    for (std::uint32_t m = s.containers[container].first; m != kNone; m = s.members[m].next) {
        const Member& member = s.members[m];
        insertIndexed(m, hashKey(container, std::string_view(s.text).substr(member.keyOffset, member.keySize)));
    }
}

std::optional<EncodingDocument::Slot> EncodingDocument::findIndexed(Container container, std::string_view key,
                                                                    std::uint32_t hash) const {
    const Storage& s = *storage_;
    const std::size_t mask = s.table.size() - 1;
    for (std::size_t i = hash & mask; s.table[i].member != 0; i = (i + 1) & mask) {
        if (s.table[i].hash != hash) continue;
        const Slot slot = s.table[i].member - 1;
        const Member& m = s.members[slot];
        if (m.owner == container && m.keySize == key.size() &&
            std::memcmp(s.text.data() + m.keyOffset, key.data(), key.size()) == 0) {
            return slot;
        }
    }
    return std::nullopt;
}

const PathLink* EncodingDocument::keepLink(const PathLink* parent, std::string_view key) {
    const std::string& kept = storage_->keys.emplace_back(key);
    return &storage_->links.emplace_back(PathLink{parent, kept});
}

const PathLink* EncodingDocument::keepLink(const PathLink* parent, std::size_t index) {
    return &storage_->links.emplace_back(PathLink{parent, {}, index, true});
}

const CodingPath& EncodingDocument::keepPath(const PathLink* link) {
    return storage_->paths.emplace_back(codingPathOf(link));
}

namespace {

// Writes a document's values, in its order, each member's key before its value.
template <class Storage, class Value>
struct DocumentWriter {
    const Storage& storage;
    TextWriter& writer;

    std::optional<EncodingError> write(const Value& v, const PathLink* path) {
        using Kind = typename Value::Kind;
        switch (v.kind) {
            case Kind::null:
                writer.put("null");
                break;
            case Kind::boolean:
                writer.put(v.boolean ? "true" : "false");
                break;
            case Kind::integer:
                writer.integer(v.integer);
                break;
            case Kind::unsignedInteger:
                writer.integer(v.unsignedInteger);
                break;
            case Kind::floating:
                writer.number(v.floating);
                break;
            case Kind::string:
                writer.text(std::string_view(storage.text).substr(v.offset, v.size));
                break;
            case Kind::json:
                return writer.json(storage.json[v.index], path);
            case Kind::object:
            case Kind::array: {
                const bool object = v.kind == Kind::object;
                writer.put(object ? '{' : '[');
                PathLink child{path, {}, 0, !object};
                for (std::uint32_t m = storage.containers[v.index].first; m != kNone; m = storage.members[m].next) {
                    const auto& member = storage.members[m];
                    if (child.index > 0) writer.put(',');
                    if (object) {
                        child.key = std::string_view(storage.text).substr(member.keyOffset, member.keySize);
                        writer.text(child.key);
                        writer.put(':');
                    }
                    if (auto e = write(member.value, &child)) return e;
                    ++child.index;
                }
                writer.put(object ? '}' : ']');
                break;
            }
        }
        return std::nullopt;
    }
};

template <class Storage, class Value>
JSONValue toValue(const Storage& storage, const Value& v) {
    using Kind = typename Value::Kind;
    switch (v.kind) {
        case Kind::null:
            return nullptr;
        case Kind::boolean:
            return v.boolean;
        case Kind::integer:
            return v.integer;
        case Kind::unsignedInteger:
            return v.unsignedInteger;
        case Kind::floating:
            return v.floating;
        case Kind::string:
            return std::string(std::string_view(storage.text).substr(v.offset, v.size));
        case Kind::json:
            return storage.json[v.index];
        case Kind::object: {
            JSONValue out = JSONValue::object();
            auto& fields = out.template get_ref<JSONValue::object_t&>();
            for (std::uint32_t m = storage.containers[v.index].first; m != kNone; m = storage.members[m].next) {
                const auto& member = storage.members[m];
                // Keys are unique already: appended (the vector's own emplace_back) without a search.
                fields.emplace_back(
                    std::string(std::string_view(storage.text).substr(member.keyOffset, member.keySize)),
                    toValue(storage, member.value));
            }
            return out;
        }
        case Kind::array: {
            JSONValue out = JSONValue::array();
            auto& elements = out.template get_ref<JSONValue::array_t&>();
            elements.reserve(storage.containers[v.index].count);
            for (std::uint32_t m = storage.containers[v.index].first; m != kNone; m = storage.members[m].next) {
                elements.push_back(toValue(storage, storage.members[m].value));
            }
            return out;
        }
    }
    return nullptr;
}

}  // namespace

std::expected<Data, Error> EncodingDocument::write() const {
    if (error_) return std::unexpected(Error(*error_));
    const Storage& s = *storage_;
    // Every byte of text once, and a few of punctuation per value: written without growing.
    TextWriter writer(s.text.size() + 8 * s.members.size() + 16);
    DocumentWriter<Storage, Value> document{s, writer};
    if (auto e = document.write(s.members[root].value, nullptr)) return std::unexpected(Error(std::move(*e)));
    if (writer.badText()) return std::unexpected(Error(*writer.badText()));
    return writer.take();
}

std::expected<JSONValue, Error> EncodingDocument::toJSONValue() const {
    if (error_) return std::unexpected(Error(*error_));
    return toValue(*storage_, storage_->members[root].value);
}

}  // namespace detail

// ---- containers ----

const CodingPath& KeyedEncodingContainer::codingPath() const {
    if (!codingPath_) codingPath_ = &document_->keepPath(path_);
    return *codingPath_;
}

KeyedEncodingContainer KeyedEncodingContainer::nestedContainer(std::string_view key) {
    const detail::PathLink* link = document_->keepLink(path_, key);
    return KeyedEncodingContainer(*document_, document_->setObject(document_->keyed(object_, key, true)), link);
}

UnkeyedEncodingContainer KeyedEncodingContainer::nestedUnkeyedContainer(std::string_view key) {
    const detail::PathLink* link = document_->keepLink(path_, key);
    return UnkeyedEncodingContainer(*document_, document_->setArray(document_->keyed(object_, key, true)), link);
}

const CodingPath& UnkeyedEncodingContainer::codingPath() const {
    if (!codingPath_) codingPath_ = &document_->keepPath(path_);
    return *codingPath_;
}

KeyedEncodingContainer UnkeyedEncodingContainer::nestedContainer() {
    const detail::PathLink* link = document_->keepLink(path_, count());
    return KeyedEncodingContainer(*document_, document_->setObject(document_->appended(array_)), link);
}

const CodingPath& SingleValueEncodingContainer::codingPath() const {
    if (!codingPath_) codingPath_ = &document_->keepPath(path_);
    return *codingPath_;
}

// ---- JSONEncoder ----

std::string convertToSnakeCase(std::string_view key) {
    std::string out;
    out.reserve(key.size() + 4);
    appendSnakeCase(out, key);
    return out;
}

std::expected<Data, Error> JSONEncoder::serialize(const JSONValue& value) {
    detail::TextWriter writer(256);
    if (auto e = writer.json(value, nullptr)) return std::unexpected(Error(std::move(*e)));
    if (writer.badText()) return std::unexpected(Error(*writer.badText()));
    return writer.take();
}

}  // namespace foundation
