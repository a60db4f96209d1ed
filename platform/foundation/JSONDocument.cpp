#include "foundation/detail/JSONDocument.h"

#include <simdjson.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace foundation::detail {

namespace dom = simdjson::dom;

// A node of the document is simdjson's reference to its tape: the document and the index of the value's word.
// Nodes keep it as it is and read values straight from the tape (simdjson's documented layout), as the
// parser's own elements do.
using Tape = simdjson::internal::tape_ref;
using TapeType = simdjson::internal::tape_type;
static_assert(sizeof(dom::element) == sizeof(Tape) && sizeof(Tape) == 2 * sizeof(std::uint64_t) &&
              std::is_trivially_copyable_v<dom::element> && std::is_trivially_copyable_v<Tape>);
static_assert(sizeof(dom::array::iterator) == sizeof(Tape) && std::is_trivially_copyable_v<dom::array::iterator>);

// Packs and unpacks the handles a node keeps.
struct JSONNodeAccess {
    static JSONNode at(const Tape& tape) {
        JSONNode node;
        std::memcpy(node.raw_, &tape, sizeof tape);
        node.inDocument_ = true;
        switch (tape.tape_ref_type()) {
            case TapeType::START_ARRAY:
                node.kind_ = JSONNode::Kind::array;
                break;
            case TapeType::START_OBJECT:
                node.kind_ = JSONNode::Kind::object;
                break;
            case TapeType::INT64:
                // As nlohmann-json reads them: a number without a sign is unsigned.
                node.kind_ = tape.next_tape_value<std::int64_t>() < 0 ? JSONNode::Kind::integer
                                                                      : JSONNode::Kind::unsignedInteger;
                break;
            case TapeType::UINT64:
                node.kind_ = JSONNode::Kind::unsignedInteger;
                break;
            case TapeType::DOUBLE:
                node.kind_ = JSONNode::Kind::floating;
                break;
            case TapeType::STRING:
                node.kind_ = JSONNode::Kind::string;
                break;
            case TapeType::TRUE_VALUE:
            case TapeType::FALSE_VALUE:
                node.kind_ = JSONNode::Kind::boolean;
                break;
            default:
                node.kind_ = JSONNode::Kind::null;
                break;
        }
        return node;
    }
    static JSONNode of(const dom::element& element) {
        Tape tape;
        std::memcpy(static_cast<void*>(&tape), &element, sizeof tape);
        return at(tape);
    }
    static Tape tape(const JSONNode& node) {
        Tape tape;
        std::memcpy(static_cast<void*>(&tape), node.raw_, sizeof tape);
        return tape;
    }
    static dom::element element(const JSONNode& node) {
        dom::element element;
        std::memcpy(&element, node.raw_, sizeof element);
        return element;
    }
    static const JSONValue& value(const JSONNode& node) {
        return *reinterpret_cast<const JSONValue*>(static_cast<std::uintptr_t>(node.raw_[0]));
    }
    static bool inDocument(const JSONNode& node) { return node.inDocument_; }
    static std::int64_t int64(const JSONNode& node) {
        return node.inDocument_ ? tape(node).next_tape_value<std::int64_t>() : value(node).get<std::int64_t>();
    }
    // Integers without a sign (in the document, an int64 that is not negative, or a uint64).
    static std::uint64_t uint64(const JSONNode& node) {
        if (!node.inDocument_) return value(node).get<std::uint64_t>();
        const Tape t = tape(node);
        if (t.tape_ref_type() == TapeType::UINT64) return t.next_tape_value<std::uint64_t>();
        return static_cast<std::uint64_t>(t.next_tape_value<std::int64_t>());
    }
    static double float64(const JSONNode& node) {
        return node.inDocument_ ? tape(node).next_tape_value<double>() : value(node).get<double>();
    }
    static dom::array::iterator iterator(const std::uint64_t (&raw)[2]) {
        dom::array::iterator it;
        std::memcpy(&it, raw, sizeof it);
        return it;
    }
    static void store(std::uint64_t (&raw)[2], const dom::array::iterator& it) { std::memcpy(raw, &it, sizeof it); }
};

// ---- JSONNode ----

JSONNode JSONNode::of(const JSONValue& value) {
    JSONNode node;
    node.raw_[0] = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&value));
    switch (value.type()) {
        case JSONValue::value_t::boolean:
            node.kind_ = Kind::boolean;
            break;
        case JSONValue::value_t::number_integer:
            node.kind_ = Kind::integer;
            break;
        case JSONValue::value_t::number_unsigned:
            node.kind_ = Kind::unsignedInteger;
            break;
        case JSONValue::value_t::number_float:
            node.kind_ = Kind::floating;
            break;
        case JSONValue::value_t::string:
            node.kind_ = Kind::string;
            break;
        case JSONValue::value_t::array:
            node.kind_ = Kind::array;
            break;
        case JSONValue::value_t::object:
            node.kind_ = Kind::object;
            break;
        default:
            node.kind_ = Kind::null;
            break;
    }
    return node;
}

bool JSONNode::boolValue() const {
    return inDocument_ ? JSONNodeAccess::tape(*this).is_true() : JSONNodeAccess::value(*this).get<bool>();
}

std::string_view JSONNode::stringValue() const {
    if (!inDocument_) return JSONNodeAccess::value(*this).get_ref<const std::string&>();
    const Tape tape = JSONNodeAccess::tape(*this);
    return {tape.get_c_str(), tape.get_string_length()};
}

double JSONNode::doubleValue() const {
    switch (kind_) {
        case Kind::integer:
            return static_cast<double>(JSONNodeAccess::int64(*this));
        case Kind::unsignedInteger:
            return static_cast<double>(JSONNodeAccess::uint64(*this));
        case Kind::floating:
            return JSONNodeAccess::float64(*this);
        default:
            return 0;
    }
}

std::size_t JSONNode::count() const {
    if (kind_ != Kind::array) return 0;
    if (!inDocument_) return JSONNodeAccess::value(*this).size();
    const dom::array array = JSONNodeAccess::element(*this).get_array().value_unsafe();
    std::size_t n = array.size();
    if (n < 0xFFFFFF) return n;
    // The document keeps counts up to 0xFFFFFF; longer arrays are counted.
    n = 0;
    for (auto it = array.begin(); it != array.end(); ++it) ++n;
    return n;
}

// ---- JSONArrayCursor ----

JSONArrayCursor::JSONArrayCursor(const JSONNode& array) : array_(array), count_(array.count()) {
    if (JSONNodeAccess::inDocument(array) && array.kind() == JSONNode::Kind::array) {
        JSONNodeAccess::store(position_, JSONNodeAccess::element(array).get_array().value_unsafe().begin());
    }
}

JSONNode JSONArrayCursor::current() const {
    if (JSONNodeAccess::inDocument(array_)) return JSONNodeAccess::of(*JSONNodeAccess::iterator(position_));
    return JSONNode::of(JSONNodeAccess::value(array_)[index_]);
}

void JSONArrayCursor::advance() {
    if (JSONNodeAccess::inDocument(array_)) {
        auto it = JSONNodeAccess::iterator(position_);
        ++it;
        JSONNodeAccess::store(position_, it);
    }
    ++index_;
}

// ---- fields of objects ----

bool findField(const JSONNode& object, std::string_view key, JSONNode& value, std::string_view* documentKey) {
    if (object.kind() != JSONNode::Kind::object) return false;
    if (!JSONNodeAccess::inDocument(object)) {
        const JSONValue& json = JSONNodeAccess::value(object);
        auto it = json.find(std::string(key));
        if (it == json.end()) return false;
        value = JSONNode::of(*it);
        if (documentKey) *documentKey = it.key();
        return true;
    }
    // Every field is looked at: the last of two fields with one key is the value.
    const dom::object fields = JSONNodeAccess::element(object).get_object().value_unsafe();
    bool found = false;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        if (it.key_length() != key.size()) continue;
        const std::string_view name = it.key();
        if (name != key) continue;
        value = JSONNodeAccess::of(it.value());
        if (documentKey) *documentKey = name;
        found = true;
    }
    return found;
}

namespace {

// A hash of a key good enough for a table of an object's fields: its length and its first and last bytes (up to
// eight each), mixed. Keys that differ only inside share a slot's chain and are told apart by comparison.
[[gnu::always_inline]] inline std::size_t keyHash(std::string_view key) {
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    const std::size_t n = key.size();
    std::uint64_t head = 0, tail = 0;
    if (n >= 8) {
        std::memcpy(&head, p, 8);
        std::memcpy(&tail, p + n - 8, 8);
    } else if (n >= 4) {
        std::uint32_t a = 0, b = 0;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + n - 4, 4);
        head = a;
        tail = b;
    } else if (n > 0) {
        head = p[0] | (std::uint64_t{p[n / 2]} << 8) | (std::uint64_t{p[n - 1]} << 16);
    }
    std::uint64_t h = (head ^ (n * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
    h ^= std::rotl(tail * 0x94D049BB133111EBull, 29);
    return static_cast<std::size_t>(h ^ (h >> 31));
}

bool buildIndex(const JSONNode& object, ObjectIndex& index, DecodingState& state) {
    const Tape start = JSONNodeAccess::tape(object);
    const std::size_t count = start.scope_count();  // (the document's count stops at 0xFFFFFF: beyond the limit too)
    if (count > kMaximumIndexedFields) return false;
    std::uint32_t slotCount = 8;
    while (slotCount < 2 * count) slotCount <<= 1;  // at most half full: chains stay short
    auto& table = state.indexedFields;
    auto& slots = state.indexSlots;
    index.firstField = static_cast<std::uint32_t>(table.size());
    index.firstSlot = static_cast<std::uint32_t>(slots.size());
    index.slotMask = slotCount - 1;
    if (table.capacity() == 0) table.reserve(128);
    if (slots.capacity() == 0) slots.reserve(512);
    slots.resize(slots.size() + slotCount, 0);
    std::uint32_t* slot = slots.data() + index.firstSlot;
    // The fields as the tape holds them: the key's string, then the value (a number takes two words, an array
    // or an object runs to the word after its end), up to the object's end.
    const dom::document* document = start.doc;
    const std::uint64_t* words = document->tape.get();
    const std::uint8_t* strings = document->string_buf.get();
    const std::size_t end = start.matching_brace_index() - 1;
    for (std::size_t at = start.json_index + 1; at < end;) {
        const std::size_t text = words[at] & simdjson::internal::JSON_VALUE_MASK;
        std::uint32_t length = 0;
        std::memcpy(&length, strings + text, sizeof length);
        const std::string_view name(reinterpret_cast<const char*>(strings + text + sizeof length), length);
        const Tape value(document, at + 1);
        for (std::size_t i = keyHash(name) & index.slotMask;; i = (i + 1) & index.slotMask) {
            if (slot[i] == 0) {
                table.push_back(IndexedField{name, JSONNodeAccess::at(value)});
                slot[i] = static_cast<std::uint32_t>(table.size() - index.firstField);
                break;
            }
            IndexedField& seen = table[index.firstField + slot[i] - 1];
            if (seen.key == name) {
                seen.value = JSONNodeAccess::at(value);  // a key given twice: its last value
                break;
            }
        }
        at = value.after_element();
    }
    index.fieldCount = static_cast<std::uint32_t>(table.size() - index.firstField);
    return true;
}

}  // namespace

bool findIndexedField(const JSONNode& object, ObjectIndex& index, DecodingState& state, std::string_view key,
                      JSONNode& value, std::string_view* documentKey) {
    if (index.state == ObjectIndex::State::notBuilt) {
        const bool indexed = object.kind() == JSONNode::Kind::object && JSONNodeAccess::inDocument(object) &&
                             buildIndex(object, index, state);
        index.state = indexed ? ObjectIndex::State::built : ObjectIndex::State::unindexed;
    }
    if (index.state == ObjectIndex::State::unindexed) return findField(object, key, value, documentKey);
    const IndexedField* fields = state.indexedFields.data() + index.firstField;
    const std::uint32_t* slot = state.indexSlots.data() + index.firstSlot;
    for (std::size_t i = keyHash(key) & index.slotMask;; i = (i + 1) & index.slotMask) {
        if (slot[i] == 0) return false;
        const IndexedField& field = fields[slot[i] - 1];
        if (field.key == key) {
            value = field.value;
            if (documentKey) *documentKey = field.key;
            index.next = slot[i];  // the field after this one is looked at first next time
            return true;
        }
    }
}

std::vector<std::pair<std::string_view, JSONNode>> objectFields(const JSONNode& object) {
    std::vector<std::pair<std::string_view, JSONNode>> out;
    if (object.kind() != JSONNode::Kind::object) return out;
    if (!JSONNodeAccess::inDocument(object)) {
        const JSONValue& json = JSONNodeAccess::value(object);
        out.reserve(json.size());
        for (auto it = json.begin(); it != json.end(); ++it) out.emplace_back(it.key(), JSONNode::of(it.value()));
        return out;
    }
    const dom::object fields = JSONNodeAccess::element(object).get_object().value_unsafe();
    out.reserve(fields.size() < 0xFFFFFF ? fields.size() : 0);
    // A key given twice keeps its first place and takes its last value.
    std::unordered_map<std::string_view, std::size_t> seen;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const std::string_view name = it.key();
        const JSONNode value = JSONNodeAccess::of(it.value());
        std::size_t at = out.size();
        if (out.size() < 16) {
            for (std::size_t i = 0; i < out.size(); ++i) {
                if (out[i].first == name) {
                    at = i;
                    break;
                }
            }
        } else {
            if (seen.empty()) {
                for (std::size_t i = 0; i < out.size(); ++i) seen.emplace(out[i].first, i);
            }
            if (auto s = seen.find(name); s != seen.end()) at = s->second;
        }
        if (at < out.size()) {
            out[at].second = value;
        } else {
            out.emplace_back(name, value);
            if (!seen.empty()) seen.emplace(name, at);
        }
    }
    return out;
}

// ---- numbers ----

std::optional<std::int64_t> signedInteger(const JSONNode& v, std::int64_t min, std::int64_t max) {
    switch (v.kind()) {
        case JSONNode::Kind::unsignedInteger: {
            const std::uint64_t u = JSONNodeAccess::uint64(v);
            if (u > static_cast<std::uint64_t>(max)) return std::nullopt;
            return static_cast<std::int64_t>(u);
        }
        case JSONNode::Kind::integer: {
            const std::int64_t s = JSONNodeAccess::int64(v);
            if (s < min || s > max) return std::nullopt;
            return s;
        }
        case JSONNode::Kind::floating: {
            const double d = JSONNodeAccess::float64(v);
            if (!std::isfinite(d) || d != std::trunc(d)) return std::nullopt;
            if (!(d >= static_cast<double>(min) && d < static_cast<double>(max) + 1.0)) return std::nullopt;
            return static_cast<std::int64_t>(d);
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::uint64_t> unsignedInteger(const JSONNode& v, std::uint64_t max) {
    switch (v.kind()) {
        case JSONNode::Kind::unsignedInteger: {
            const std::uint64_t u = JSONNodeAccess::uint64(v);
            if (u > max) return std::nullopt;
            return u;
        }
        case JSONNode::Kind::integer: {
            const std::int64_t s = JSONNodeAccess::int64(v);
            if (s < 0 || static_cast<std::uint64_t>(s) > max) return std::nullopt;
            return static_cast<std::uint64_t>(s);
        }
        case JSONNode::Kind::floating: {
            const double d = JSONNodeAccess::float64(v);
            if (!std::isfinite(d) || d != std::trunc(d)) return std::nullopt;
            if (!(d >= 0.0 && d < static_cast<double>(max) + 1.0)) return std::nullopt;
            return static_cast<std::uint64_t>(d);
        }
        default:
            return std::nullopt;
    }
}

std::string formatNumber(const JSONNode& number) {
    switch (number.kind()) {
        case JSONNode::Kind::integer:
            return std::to_string(JSONNodeAccess::int64(number));
        case JSONNode::Kind::unsignedInteger:
            return std::to_string(JSONNodeAccess::uint64(number));
        default: {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.17g", number.doubleValue());
            return buffer;
        }
    }
}

// ---- values as nlohmann-json values ----

JSONValue toJSONValue(const JSONNode& v) {
    if (!JSONNodeAccess::inDocument(v)) return JSONNodeAccess::value(v);
    switch (v.kind()) {
        case JSONNode::Kind::null:
            return nullptr;
        case JSONNode::Kind::boolean:
            return v.boolValue();
        case JSONNode::Kind::integer:
            return JSONNodeAccess::int64(v);
        case JSONNode::Kind::unsignedInteger:
            return JSONNodeAccess::uint64(v);
        case JSONNode::Kind::floating:
            return JSONNodeAccess::float64(v);
        case JSONNode::Kind::string:
            return std::string(v.stringValue());
        case JSONNode::Kind::array: {
            JSONValue out = JSONValue::array();
            for (JSONArrayCursor cursor(v); !cursor.atEnd(); cursor.advance())
                out.push_back(toJSONValue(cursor.current()));
            return out;
        }
        case JSONNode::Kind::object: {
            JSONValue out = JSONValue::object();
            for (const auto& [key, value] : objectFields(v)) out.emplace(std::string(key), toJSONValue(value));
            return out;
        }
    }
    return nullptr;
}

// ---- parsing ----

namespace {

// nlohmann-json's text of a syntax error is "syntax error while parsing <context> - <what is wrong>", then, when the
// lexer refused a token, "; last read: '<the token so far>'", then "; expected <what>" where the parser expected
// something. The token is the document's own text (a string being read holds everything up to the bad byte: an
// access token, a password), so it is left out; where the error is and what was expected stay. What was expected
// follows from the context (it is never part of the token's text that way).
std::string withoutDocumentText(std::string reason) {
    constexpr std::string_view kLastRead = "; last read: '";
    const std::size_t lastRead = reason.find(kLastRead);
    if (lastRead == std::string::npos) return reason;
    struct Expectation {
        std::string_view context;
        std::string_view expected;
    };
    static constexpr Expectation kExpectations[] = {
        {"value", "end of input"}, {"object key", "string literal"}, {"object separator", "':'"}, {"array", "']'"},
        {"object", "'}'"},
    };
    std::string expectation;
    const std::string_view head = std::string_view(reason).substr(0, lastRead);
    for (const auto& [context, expected] : kExpectations) {
        const std::string marker = "while parsing " + std::string(context) + " - ";
        const std::string suffix = "; expected " + std::string(expected);
        if (head.find(marker) != std::string_view::npos && reason.ends_with(suffix)) {
            expectation = suffix;
            break;
        }
    }
    reason.resize(lastRead);
    return reason + expectation;
}

Error notValidJSON(std::string reason, std::optional<std::size_t> offset) {
    return Error(DecodingError::dataCorrupted({{}, "The given data was not valid JSON: " + reason, offset}));
}

// nlohmann's messages open with the exception's id ("[json.exception.out_of_range.406] "), left out here.
std::string withoutExceptionId(std::string reason) {
    if (auto bracket = reason.find("] "); bracket != std::string::npos && reason.starts_with("[json.")) {
        reason.erase(0, bracket + 2);
    }
    return reason;
}

bool startsWithByteOrderMark(std::string_view text) {
    return text.starts_with("\xEF\xBB\xBF");
}

}  // namespace

std::expected<JSONValue, Error> parseWithNlohmann(std::string_view text) {
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
        reason = withoutExceptionId(std::move(reason));
        const std::size_t offset = e.byte > 0 ? e.byte - 1 : 0;
        return std::unexpected(notValidJSON(withoutDocumentText(std::move(reason)), offset));
    } catch (const std::length_error&) {
        if (!tooDeep) throw;
        return std::unexpected(
            notValidJSON("nesting deeper than " + std::to_string(kMaximumNestingDepth) + " levels", std::nullopt));
    } catch (const JSONValue::exception& e) {
        // Other refusals quote what they refused ("number overflow parsing '1e400'"): the quote is left out.
        std::string reason = withoutExceptionId(e.what());
        if (auto quote = reason.find('\''); quote != std::string::npos) {
            reason.resize(quote);
            if (reason.ends_with(" parsing ")) reason.resize(reason.size() - 9);
            while (!reason.empty() && reason.back() == ' ') reason.pop_back();
        }
        return std::unexpected(notValidJSON(std::move(reason), std::nullopt));
    }
}

namespace {

// A parser keeps its buffers between documents; each thread keeps a few (a model's decode may decode
// another document while its own is open). One grown past this is not kept.
constexpr std::size_t kKeptParserCapacity = 4u << 20;
constexpr std::size_t kKeptParsers = 4;

struct ParserPool {
    std::vector<std::unique_ptr<dom::parser>> free;
};

ParserPool& threadPool() {
    thread_local ParserPool pool;
    return pool;
}

dom::parser* leaseParser() {
    auto& pool = threadPool();
    if (!pool.free.empty()) {
        dom::parser* parser = pool.free.back().release();
        pool.free.pop_back();
        return parser;
    }
    auto parser = std::make_unique<dom::parser>();
    // The parser's own bound on nesting, the same as nlohmann-json's above: 512 levels parse, 513 do not.
    if (parser->allocate(4096, kMaximumNestingDepth) != simdjson::SUCCESS) return nullptr;
    return parser.release();
}

void returnParser(dom::parser* parser) {
    std::unique_ptr<dom::parser> owned(parser);
    auto& pool = threadPool();
    if (owned->capacity() <= kKeptParserCapacity && pool.free.size() < kKeptParsers) {
        pool.free.push_back(std::move(owned));
    }
}

}  // namespace

ParsedJSON::~ParsedJSON() {
    if (parser_) returnParser(static_cast<dom::parser*>(parser_));
}

std::optional<Error> ParsedJSON::parse(std::string_view text) {
    if (!parser_) parser_ = leaseParser();
    auto* parser = static_cast<dom::parser*>(parser_);
    simdjson::error_code refusal = simdjson::MEMALLOC;
    if (parser) {
        // (An empty view may have no address; the parser copies from one all the same.)
        auto result = parser->parse(text.empty() ? "" : text.data(), text.size(), true);
        if (!result.error()) {
            root_ = JSONNodeAccess::of(result.value_unsafe());
            return std::nullopt;
        }
        refusal = result.error();
    }
    // simdjson refused the text. nlohmann-json reads what JSON allows and simdjson does not (a byte-order mark,
    // numbers beyond 64 bits) or could not take (no memory for its buffers), so that decoding keeps its answers;
    // any other refusal stands, and nlohmann-json only says why.
    const bool readElsewhere = refusal == simdjson::NUMBER_ERROR || refusal == simdjson::MEMALLOC ||
                               refusal == simdjson::CAPACITY || startsWithByteOrderMark(text);
    auto value = parseWithNlohmann(text);
    if (!value) return value.error();
    // nlohmann-json takes a NUL byte for the end of the text and reads what comes before it; JSON allows no
    // raw NUL anywhere (one in a string is refused by both readers).
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        return notValidJSON("syntax error while parsing value - unexpected NUL byte; expected end of input", nul);
    }
    if (!readElsewhere) return notValidJSON(simdjson::error_message(refusal), std::nullopt);
    fallback_ = std::make_unique<JSONValue>(std::move(*value));
    root_ = JSONNode::of(*fallback_);
    return std::nullopt;
}

}  // namespace foundation::detail
