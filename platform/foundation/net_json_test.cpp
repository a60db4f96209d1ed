#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/JSON.h"

namespace foundation {
namespace {

enum class Position { goalkeeper, forward };

struct PositionCode {
    Position value = Position::goalkeeper;
    static PositionCode decode(const SingleValueDecodingContainer& c) {
        const std::string raw = c.decode<std::string>();
        if (raw == "GK") return {Position::goalkeeper};
        if (raw == "FW") return {Position::forward};
        c.dataCorrupted("Cannot initialize Position from invalid String value " + raw);
        return {};
    }
    void encode(SingleValueEncodingContainer& c) const {
        c.encode(std::string(value == Position::goalkeeper ? "GK" : "FW"));
    }
    friend bool operator==(const PositionCode&, const PositionCode&) = default;
};

struct Player {
    std::string name;
    int number = 0;
    std::optional<std::string> nickName;
    PositionCode position;
    static Player decode(const KeyedDecodingContainer& c) {
        Player p;
        p.name = c.decode<std::string>("name");
        p.number = c.decode<int>("number");
        p.nickName = c.decodeIfPresent<std::string>("nickName");
        p.position = c.decode<PositionCode>("position");
        return p;
    }
    void encode(KeyedEncodingContainer& c) const {
        c.encode("name", name);
        c.encode("number", number);
        c.encodeIfPresent("nickName", nickName);
        c.encode("position", position);
    }
    friend bool operator==(const Player&, const Player&) = default;
};

struct Team {
    std::string teamName;
    std::vector<Player> players;
    std::optional<double> averageAge;
    std::map<std::string, std::int64_t> goals;
    static Team decode(const KeyedDecodingContainer& c) {
        Team t;
        t.teamName = c.decode<std::string>("teamName");
        t.players = c.decode<std::vector<Player>>("players");
        t.averageAge = c.decode<std::optional<double>>("averageAge");
        t.goals = c.decodeIfPresent<std::map<std::string, std::int64_t>>("goals").value_or(
            std::map<std::string, std::int64_t>{});
        return t;
    }
    void encode(KeyedEncodingContainer& c) const {
        c.encode("teamName", teamName);
        c.encode("players", players);
        c.encodeIfPresent("averageAge", averageAge);
        c.encode("goals", goals);
    }
    friend bool operator==(const Team&, const Team&) = default;
};

const DecodingError& decodingError(const Error& e) {
    static const DecodingError none = DecodingError::dataCorrupted({});
    const auto* d = e.as<DecodingError>();
    EXPECT_NE(d, nullptr) << e.localizedDescription();
    return d ? *d : none;
}

template <class T>
DecodingError failure(std::string_view json, KeyDecodingStrategy strategy = KeyDecodingStrategy::useDefaultKeys) {
    JSONDecoder decoder;
    decoder.keyDecodingStrategy = strategy;
    auto result = decoder.decode<T>(json);
    EXPECT_FALSE(result.has_value()) << json;
    if (result) return DecodingError::dataCorrupted({});
    return decodingError(result.error());
}

constexpr std::string_view kTeam = R"({"teamName":"Lions","players":[
    {"name":"Ann","number":1,"position":"GK"},
    {"name":"Bo","number":9,"nickName":null,"position":"FW","extra":true}],
  "averageAge":null,"goals":{"Bo":3}})";

TEST(JSONDecoderTest, ModelsDecodeKeyByKeyWithOptionalKeysAbsentOrNull) {
    auto team = JSONDecoder().decode<Team>(kTeam);
    ASSERT_TRUE(team) << team.error().localizedDescription();
    EXPECT_EQ(team->teamName, "Lions");
    ASSERT_EQ(team->players.size(), 2u);
    EXPECT_EQ(team->players[1].name, "Bo");
    EXPECT_EQ(team->players[1].position.value, Position::forward);
    EXPECT_FALSE(team->players[0].nickName);
    EXPECT_FALSE(team->players[1].nickName);
    EXPECT_FALSE(team->averageAge);
    EXPECT_EQ(team->goals.at("Bo"), 3);
}

TEST(JSONDecoderTest, ErrorsNameTheKeyPath) {
    DecodingError missing = failure<Team>(
        R"({"teamName":"L","players":[{"name":"A","number":1,"position":"GK"},{"number":2,"position":"GK"}]})");
    EXPECT_TRUE(missing.isKeyNotFound());
    EXPECT_EQ(missing.key(), "name");
    EXPECT_EQ(missing.keyPath(), "players[1].name");
    EXPECT_EQ(missing.localizedDescription(), "No value associated with key \"name\" (key path \"players[1].name\").");

    DecodingError null = failure<Team>(R"({"teamName":null,"players":[]})");
    EXPECT_TRUE(null.isValueNotFound());
    EXPECT_EQ(null.expectedType(), "String");
    EXPECT_EQ(null.localizedDescription(), "Expected String value but found null instead (key path \"teamName\").");

    DecodingError wrong = failure<Team>(R"({"teamName":"L","players":[{"name":"A","number":"7","position":"GK"}]})");
    EXPECT_TRUE(wrong.isTypeMismatch());
    EXPECT_EQ(wrong.expectedType(), "Int32");
    EXPECT_EQ(wrong.localizedDescription(),
              "Expected to decode Int32 but found a string instead (key path \"players[0].number\").");

    DecodingError raw = failure<Team>(R"({"teamName":"L","players":[{"name":"A","number":7,"position":"XX"}]})");
    EXPECT_TRUE(raw.isDataCorrupted());
    EXPECT_EQ(raw.keyPath(), "players[0].position");
    EXPECT_NE(raw.localizedDescription().find("invalid String value XX"), std::string::npos);

    // The first failure is the one reported; later keys are not looked at.
    DecodingError first = failure<Player>(R"({"name":5,"number":"x"})");
    EXPECT_EQ(first.keyPath(), "name");
    EXPECT_EQ(first.code(), 4864);
    EXPECT_EQ(missing.code(), 4865);
    EXPECT_EQ(failure<Team>("[]").localizedDescription(),
              "Expected to decode Dictionary but found an array instead (at the top level).");
}

TEST(JSONDecoderTest, NumbersStringsAndBoolsStayApart) {
    EXPECT_TRUE(failure<std::string>("42").isTypeMismatch());
    EXPECT_TRUE(failure<int>("\"42\"").isTypeMismatch());
    EXPECT_TRUE(failure<int>("true").isTypeMismatch());
    EXPECT_TRUE(failure<bool>("1").isTypeMismatch());
    EXPECT_TRUE(failure<double>("\"1.5\"").isTypeMismatch());
    EXPECT_EQ(JSONDecoder().decode<int>("3.0").value(), 3);
    EXPECT_EQ(failure<int>("3.5").localizedDescription(),
              "The number 3.5 is not representable as Int32 (at the top level).");
    EXPECT_TRUE(failure<std::int32_t>("3000000000").isTypeMismatch());
    EXPECT_TRUE(failure<std::int32_t>("3e10").isTypeMismatch());
    EXPECT_TRUE(failure<std::uint8_t>("-1").isTypeMismatch());
    EXPECT_TRUE(failure<std::uint8_t>("256").isTypeMismatch());
    EXPECT_TRUE(failure<std::int64_t>("9223372036854775808").isTypeMismatch());
    EXPECT_TRUE(failure<std::int64_t>("9.3e18").isTypeMismatch());
    EXPECT_EQ(JSONDecoder().decode<std::int64_t>("-9223372036854775808").value(),
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(JSONDecoder().decode<std::uint64_t>("18446744073709551615").value(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(JSONDecoder().decode<double>("7").value(), 7.0);
    EXPECT_TRUE(failure<float>("1e300").isTypeMismatch());
    EXPECT_EQ(JSONDecoder().decode<std::vector<std::optional<int>>>("[1,null,3]").value(),
              (std::vector<std::optional<int>>{1, std::nullopt, 3}));
    EXPECT_EQ(failure<std::vector<int>>("[1,null]").keyPath(), "[1]");
}

TEST(JSONDecoderTest, MalformedDataIsCorruptedWithItsPosition) {
    for (std::string_view bad :
         {"", "{", "{\"a\":}", "[1,2,]", "{'a':1}", "nul", "1 2", "\"\xff\xfe\"", "{\"a\":1e400}"}) {
        DecodingError e = failure<JSONValue>(bad);
        EXPECT_TRUE(e.isDataCorrupted()) << bad;
        EXPECT_EQ(e.localizedDescription().rfind("The given data was not valid JSON", 0), 0u)
            << e.localizedDescription();
    }
    EXPECT_EQ(failure<JSONValue>("{\"a\":}").context().byteOffset, 5u);
    // Hostile nesting is refused, not recursed into.
    DecodingError deep = failure<JSONValue>(std::string(100000, '['));
    EXPECT_TRUE(deep.isDataCorrupted());
}

// Text is parsed by one reader for speed; what is valid JSON (but for a raw NUL byte, which the reference
// takes for the end of the text), every value read from it and every parse error are those of
// nlohmann-json, the reference.
TEST(JSONDecoderTest, TextReadsAsTheReferenceReaderReadsIt) {
    const std::vector<std::string> inputs{
        R"({"a":1,"b":[true,false,null],"c":{"d":"e"}})",
        "\xEF\xBB\xBF{\"bom\":1}",
        "[18446744073709551615,18446744073709551616,-9223372036854775808,-9223372036854775809]",
        "[-0,0.0,-0.0,1e-400,1E2,-1.5e-3,0.1,123456789012345678901234567890]",
        R"({"k":1,"k":2,"j":3,"k":4})",
        R"(["\u0000","\ud83d\ude00","\u00e9","\/\b\f\n\r\t"])",
        "\"\xc3\xa9\xe2\x9c\x93\"",
        " \t\r\n[1]\n ",
        std::string("{}\0x", 4),
        "\"\\ud800\"",
        "\"\\udc00\"",
        "[1,]",
        "{\"a\" 1}",
        "01",
        "1.",
        "-",
        "\"\x01\"",
        "\"\xed\xa0\x80\"",
        "\"\xc0\x80\"",
        "[1e400]",
        "",
        "   ",
        "{\"a\":1}}",
        std::string(512, '[') + std::string(512, ']'),
        std::string(513, '[') + std::string(513, ']'),
    };
    for (const auto& text : inputs) {
        const auto ours = JSONDecoder::parse(text);
        // The reference, with the same bound on nesting.
        int depthSeen = 0;
        JSONValue::parser_callback_t bound = [&depthSeen](int depth, JSONValue::parse_event_t event, JSONValue&) {
            if (event == JSONValue::parse_event_t::object_start || event == JSONValue::parse_event_t::array_start) {
                depthSeen = std::max(depthSeen, depth + 1);
            }
            return true;
        };
        const JSONValue reference = JSONValue::parse(text.begin(), text.end(), bound, false);
        // The reference takes a NUL byte for the end of the text; JSON allows none.
        const bool referenceValid =
            !reference.is_discarded() && depthSeen <= 512 && text.find('\0') == std::string::npos;
        ASSERT_EQ(ours.has_value(), referenceValid) << text;
        if (ours) {
            EXPECT_EQ(*ours, reference) << text;
            EXPECT_EQ(ours->dump(), reference.dump()) << text;
        } else {
            const DecodingError& e = decodingError(ours.error());
            EXPECT_TRUE(e.isDataCorrupted()) << text;
            EXPECT_EQ(e.localizedDescription().rfind("The given data was not valid JSON", 0), 0u) << text;
        }
    }
    EXPECT_EQ(failure<JSONValue>("{\"a\":}").localizedDescription(),
              "The given data was not valid JSON: parse error at line 1, column 6: syntax error while parsing value - "
              "unexpected '}'; expected '[', '{', or a literal (at byte 5)");

    // A key given twice: its last value, in its first place; models see the same.
    struct Twice {
        int k = 0;
        std::vector<std::string> keys;
        std::map<std::string, int> all;
        static Twice decode(const KeyedDecodingContainer& c) {
            return {c.decode<int>("k"), c.allKeys(), c.decode<std::map<std::string, int>>("m")};
        }
    };
    auto twice = JSONDecoder().decode<Twice>(R"({"k":1,"m":{"x":"bad","y":2,"x":3},"k":2})");
    ASSERT_TRUE(twice) << twice.error().localizedDescription();
    EXPECT_EQ(twice->k, 2);
    EXPECT_EQ(twice->keys, (std::vector<std::string>{"k", "m"}));
    EXPECT_EQ(twice->all, (std::map<std::string, int>{{"x", 3}, {"y", 2}}));
    // A value that is already parsed decodes alike, and so does its text.
    const JSONValue parsed = *JSONDecoder::parse(R"({"teamName":"L","players":[{"name":"A","number":"7"}]})");
    EXPECT_EQ(decodingError(JSONDecoder().decode<Team>(parsed).error()).localizedDescription(),
              decodingError(JSONDecoder().decode<Team>(parsed.dump()).error()).localizedDescription());
}

TEST(JSONDecoderTest, ARawNULByteIsRefusedWhereverItStands) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        std::size_t offset;
    };
    // After a whole value, alone or with more text, after a byte-order mark or a number beyond 64 bits (the
    // texts the second reader is there for).
    for (const auto& [text, offset] : std::vector<Case>{{"123\0"s, 3},
                                                        {"{}\0x"s, 2},
                                                        {"[1]\0"s, 3},
                                                        {"[1] \0 "s, 4},
                                                        {"\xEF\xBB\xBF{\"a\":1}\0"s, 10},
                                                        {"[18446744073709551616]\0"s, 22}}) {
        const DecodingError e = failure<JSONValue>(text);
        EXPECT_TRUE(e.isDataCorrupted()) << text;
        EXPECT_EQ(e.context().byteOffset, offset) << text;
        EXPECT_EQ(e.localizedDescription(),
                  "The given data was not valid JSON: syntax error while parsing value - unexpected NUL byte; "
                  "expected end of input (at byte " +
                      std::to_string(offset) + ")");
        EXPECT_FALSE(JSONSerialization::jsonObject(dataFromString(text))) << text;
    }
    // Before or inside a value it is a syntax error like any other.
    for (const std::string& text : {"\0{}"s, "[1,\0]"s, "\"a\0b\""s, "{\"a\0\":1}"s}) {
        EXPECT_TRUE(failure<JSONValue>(text).isDataCorrupted()) << text;
    }
    // Models refuse it as well, and the texts the second reader is there for still read.
    EXPECT_TRUE(failure<Player>(R"({"name":"A","number":1,"position":"GK"})"s + "\0"s).isDataCorrupted());
    EXPECT_EQ(JSONDecoder::parse("\xEF\xBB\xBF[1]").value(), JSONValue::parse("[1]"));
    EXPECT_TRUE(JSONDecoder::parse("[18446744073709551616]").value()[0].is_number_float());
}

TEST(JSONDecoderTest, AParseErrorSaysWhereAndWhatWasExpectedWithoutQuotingTheText) {
    using namespace std::string_literals;
    const std::string secret = "opaque-Secret-9f8e7d6c5b4a";
    struct Case {
        std::string text;
        std::string expected;  // the end of the description
    };
    const std::string tab = "\t";
    for (const auto& [text, expected] : std::vector<Case>{
             // A control character inside a string, in each place a string stands.
             {R"({"access_token":")" + secret + tab + R"("})",
              "control character U+0009 (HT) must be escaped to \\u0009 or \\t (at byte 43)"},
             {R"({")" + secret + tab, "must be escaped to \\u0009 or \\t; expected string literal (at byte 28)"},
             {R"({"a" ")" + secret + tab, "must be escaped to \\u0009 or \\t; expected ':' (at byte 32)"},
             {R"([1 ")" + secret + tab, "must be escaped to \\u0009 or \\t; expected ']' (at byte 30)"},
             {R"({"a":1 ")" + secret + tab, "must be escaped to \\u0009 or \\t; expected '}' (at byte 34)"},
             {R"({} ")" + secret + tab, "must be escaped to \\u0009 or \\t; expected end of input (at byte 30)"},
             {"\xEF\xBB\xBF[\"" + secret + tab, "must be escaped to \\u0009 or \\t (at byte 31)"},
             // A string cut short, an invalid byte, a bad escape, a bad literal or number.
             {R"({"refresh_token":")" + secret, "invalid string: missing closing quote (at byte 44)"},
             {"[\"" + secret + "\xff\"]", "invalid string: ill-formed UTF-8 byte (at byte 28)"},
             {"[\"" + secret + "\\u12\"]", "invalid string: '\\u' must be followed by 4 hex digits (at byte 32)"},
             {"[t" + secret + "]", "invalid literal (at byte 2)"},
             {"[-" + secret + "]", "invalid number; expected digit after '-' (at byte 2)"},
             // Numbers beyond a double are refused without their digits.
             {"[1e4000000000000000" + secret.substr(0, 0) + "]", "number overflow"},
         }) {
        const DecodingError e = failure<JSONValue>(text);
        const std::string description = e.localizedDescription();
        EXPECT_TRUE(e.isDataCorrupted()) << description;
        EXPECT_TRUE(description.starts_with("The given data was not valid JSON: ")) << description;
        EXPECT_TRUE(description.ends_with(expected)) << description;
        EXPECT_EQ(description.find(secret.substr(0, 8)), std::string::npos) << description;
        EXPECT_EQ(description.find("last read"), std::string::npos) << description;
        EXPECT_EQ(description.find("400000"), std::string::npos) << description;
        // Models and the text road say the same.
        EXPECT_EQ(failure<Player>(text).localizedDescription(), description);
        EXPECT_EQ(JSONSerialization::jsonObject(dataFromString(text)).error().localizedDescription(), description);
    }
}

TEST(JSONDecoderTest, KeysAreFoundInAnyOrderInObjectsOfAnySize) {
    // Reads the keys of "fields" in the order "order" lists them.
    struct Lookups {
        std::vector<int> values;
        static Lookups decode(const KeyedDecodingContainer& c) {
            Lookups out;
            const auto order = c.decode<std::vector<std::string>>("order");
            const auto fields = c.nestedContainer("fields");
            for (const auto& key : order) out.values.push_back(fields.decode<int>(key));
            return out;
        }
    };
    // Small objects, objects with many keys, and objects too large to index are read alike; a key given twice
    // has its last value.
    for (const int count : {1, 5, 40, 1000, 1500}) {
        JSONValue fields = JSONValue::object();
        std::vector<std::string> order;
        std::vector<int> expected;
        for (int i = 0; i < count; ++i) fields["f" + std::to_string(i)] = i;
        std::string text = fields.dump();
        text.back() = ',';
        text += R"("f0":-1})";
        for (int i = count - 1; i >= 0; i -= 3) order.push_back("f" + std::to_string(i));
        for (int i = 0; i < count; i += 2) order.push_back("f" + std::to_string(i));
        for (const auto& key : order) expected.push_back(key == "f0" ? -1 : std::stoi(key.substr(1)));
        const std::string document = R"({"order":)" + JSONValue(order).dump() + R"(,"fields":)" + text + "}";
        const auto decoded = JSONDecoder().decode<Lookups>(document);
        ASSERT_TRUE(decoded) << count << ": " << decoded.error().localizedDescription();
        EXPECT_EQ(decoded->values, expected) << count;

        order.push_back("f" + std::to_string(count));
        const DecodingError missing =
            failure<Lookups>(R"({"order":)" + JSONValue(order).dump() + R"(,"fields":)" + text + "}");
        EXPECT_TRUE(missing.isKeyNotFound()) << count;
        EXPECT_EQ(missing.keyPath(), "fields.f" + std::to_string(count));
    }

    // A container keeps its keys while the values under it are decoded with containers of their own.
    struct Item {
        int x = 0, y = 0;
        static Item decode(const KeyedDecodingContainer& c) {
            const int y = c.decode<int>("y");
            return {c.decode<int>("x"), y};
        }
    };
    struct Outer {
        int a = 0, b = 0, c = 0;
        std::vector<Item> items;
        static Outer decode(const KeyedDecodingContainer& k) {
            Outer o;
            o.b = k.decode<int>("b");
            o.items = k.decode<std::vector<Item>>("items");
            const auto inner = k.nestedContainer("inner");
            o.c = inner.decode<Item>("item").x + k.decode<int>("c");
            o.a = k.decode<int>("a") + inner.decode<int>("z");
            return o;
        }
    };
    // Values of every kind come out whole, optional or in arrays, however they are made in place.
    struct Kinds {
        std::optional<JSONValue> any;
        std::vector<bool> flags;
        std::vector<std::optional<std::string>> texts;
        std::optional<std::vector<Item>> items;
        static Kinds decode(const KeyedDecodingContainer& c) {
            return {c.decodeIfPresent<JSONValue>("any"), c.decode<std::vector<bool>>("flags"),
                    c.decode<std::vector<std::optional<std::string>>>("texts"),
                    c.decodeIfPresent<std::vector<Item>>("items")};
        }
    };
    const auto kinds = JSONDecoder().decode<Kinds>(
        R"({"any":{"a":[1,"x"]},"flags":[true,false],"texts":["t",null],"items":[{"x":1,"y":2}]})");
    ASSERT_TRUE(kinds) << kinds.error().localizedDescription();
    EXPECT_EQ(kinds->any, JSONValue::parse(R"({"a":[1,"x"]})"));
    EXPECT_EQ(kinds->flags, (std::vector<bool>{true, false}));
    EXPECT_EQ(kinds->texts, (std::vector<std::optional<std::string>>{"t", std::nullopt}));
    ASSERT_TRUE(kinds->items);
    EXPECT_EQ(kinds->items->at(0).y, 2);

    const auto outer = JSONDecoder().decode<Outer>(
        R"({"a":1,"items":[{"x":1,"y":2},{"y":4,"x":3,"w":0}],"b":2,"inner":{"z":10,"item":{"x":5,"y":6}},"c":3})");
    ASSERT_TRUE(outer) << outer.error().localizedDescription();
    EXPECT_EQ(outer->a, 11);
    EXPECT_EQ(outer->b, 2);
    EXPECT_EQ(outer->c, 8);
    ASSERT_EQ(outer->items.size(), 2u);
    EXPECT_EQ(outer->items[1].x, 3);
    EXPECT_EQ(outer->items[1].y, 4);
}

TEST(JSONDecoderTest, NestedAndUnkeyedContainers) {
    struct Envelope {
        std::string title;
        std::vector<int> scores;
        bool hadNote = false;
        std::vector<std::string> keys;
        JSONValue extra;
        static Envelope decode(const KeyedDecodingContainer& c) {
            Envelope e;
            auto meta = c.nestedContainer("meta");
            e.title = meta.decode<std::string>("title");
            e.keys = meta.allKeys();
            e.hadNote = !meta.decodeNil("note");
            auto list = c.nestedUnkeyedContainer("scores");
            while (!list.isAtEnd()) e.scores.push_back(list.decode<int>());
            e.extra = c.decode<JSONValue>("extra");
            return e;
        }
    };
    auto ok = JSONDecoder().decode<Envelope>(
        R"({"meta":{"title":"T","note":null},"scores":[3,1,2],"extra":{"any":[1,"x"]}})");
    ASSERT_TRUE(ok) << ok.error().localizedDescription();
    EXPECT_EQ(ok->title, "T");
    EXPECT_EQ(ok->scores, (std::vector<int>{3, 1, 2}));
    EXPECT_FALSE(ok->hadNote);
    EXPECT_EQ(ok->keys, (std::vector<std::string>{"title", "note"}));
    EXPECT_EQ(ok->extra["any"][1], "x");

    EXPECT_EQ(failure<Envelope>(R"({"meta":[],"scores":[]})").localizedDescription(),
              "Expected to decode Dictionary but found an array instead (key path \"meta\").");
    EXPECT_EQ(failure<Envelope>(R"({"meta":{"title":"T"},"scores":[1,"2"]})").keyPath(), "scores[1]");
    EXPECT_EQ(failure<Envelope>(R"({"meta":{"title":"T"}})").keyPath(), "scores");
    EXPECT_EQ((failure<std::map<std::string, int>>(R"({"a":1,"b":true})").keyPath()), "b");

    struct Pair {
        int first = 0;
        int second = 0;
        static Pair decode(const KeyedDecodingContainer& c) {
            auto items = c.nestedUnkeyedContainer("items");
            const int a = items.decode<int>();
            return {a, items.decode<int>()};  // reading past the end is an error, not a crash
        }
    };
    DecodingError pastEnd = failure<Pair>(R"({"items":[1]})");
    EXPECT_TRUE(pastEnd.isValueNotFound());
    EXPECT_EQ(pastEnd.keyPath(), "items[1]");
}

TEST(JSONDecoderTest, SnakeCaseKeysConvert) {
    struct Token {
        std::string accessToken;
        int expiresIn = 0;
        std::optional<std::string> tokenType;
        std::string privateKey;
        static Token decode(const KeyedDecodingContainer& c) {
            return {c.decode<std::string>("accessToken"), c.decode<int>("expiresIn"),
                    c.decodeIfPresent<std::string>("tokenType"), c.decode<std::string>("_privateKey_")};
        }
    };
    JSONDecoder decoder;
    decoder.keyDecodingStrategy = KeyDecodingStrategy::convertFromSnakeCase;
    auto token = decoder.decode<Token>(R"({"access_token":"abc","expires_in":3600,"_private_key_":"k"})");
    ASSERT_TRUE(token) << token.error().localizedDescription();
    EXPECT_EQ(token->accessToken, "abc");
    EXPECT_EQ(token->expiresIn, 3600);
    EXPECT_FALSE(token->tokenType);
    EXPECT_EQ(failure<Token>(R"({"access_token":"abc"})", KeyDecodingStrategy::convertFromSnakeCase).keyPath(),
              "expiresIn");
    // Without the strategy the snake-case keys are simply other keys.
    EXPECT_EQ(failure<Token>(R"({"access_token":"abc"})").keyPath(), "accessToken");

    EXPECT_EQ(convertFromSnakeCase("first_name"), "firstName");
    EXPECT_EQ(convertFromSnakeCase("URL"), "URL");
    EXPECT_EQ(convertFromSnakeCase("user_ID"), "userId");
    EXPECT_EQ(convertFromSnakeCase("__a__b__"), "__aB__");
    EXPECT_EQ(convertToSnakeCase("firstName"), "first_name");
    EXPECT_EQ(convertToSnakeCase("myURLValue"), "my_url_value");
    EXPECT_EQ(convertToSnakeCase("version2Name"), "version2_name");
    EXPECT_EQ(convertToSnakeCase("already_snake"), "already_snake");
}

TEST(JSONEncoderTest, OutputIsCompactInInsertionOrderWithAbsentOptionalsLeftOut) {
    Team team{"Lions",
              {{"Ann", 1, std::nullopt, {Position::goalkeeper}}, {"Bo", 9, "B", {Position::forward}}},
              std::nullopt,
              {{"Bo", 3}}};
    auto data = JSONEncoder().encode(team);
    ASSERT_TRUE(data);
    EXPECT_EQ(
        stringFromData(*data),
        R"({"teamName":"Lions","players":[{"name":"Ann","number":1,"position":"GK"},{"name":"Bo","number":9,"nickName":"B","position":"FW"}],"goals":{"Bo":3}})");
    auto back = JSONDecoder().decode<Team>(*data);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, team);

    struct Body {
        std::string assetId = "a1";
        std::optional<int> startPosition;
        void encode(KeyedEncodingContainer& c) const {
            c.encode("assetId", assetId);
            c.encodeIfPresent("startPosition", startPosition);
            auto device = c.nestedContainer("deviceInfo");
            c.encode("zLast", true);
            device.encode("systemName", "Linux");  // written after its parent moved on
            c.encodeNil("explicitNull");
        }
    };
    JSONEncoder snake;
    snake.keyEncodingStrategy = KeyEncodingStrategy::convertToSnakeCase;
    EXPECT_EQ(stringFromData(*snake.encode(Body{})),
              R"({"asset_id":"a1","device_info":{"system_name":"Linux"},"z_last":true,"explicit_null":null})");
}

TEST(JSONEncoderTest, NonFiniteNumbersAndBadTextAreErrorsNeverNull) {
    Team team{"Lions", {}, std::numeric_limits<double>::quiet_NaN(), {}};
    auto nan = JSONEncoder().encode(team);
    ASSERT_FALSE(nan);
    const auto* e = nan.error().as<EncodingError>();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->keyPath(), "averageAge");
    EXPECT_EQ(nan.error().localizedDescription(),
              "Unable to encode Double.nan directly in JSON (key path \"averageAge\").");
    EXPECT_FALSE(JSONEncoder().encode(std::vector<double>{1.0, -INFINITY}));

    JSONValue raw = {{"a", {{"b", std::numeric_limits<double>::infinity()}}}};
    auto inRaw = JSONSerialization::data(raw);
    ASSERT_FALSE(inRaw);
    EXPECT_EQ(inRaw.error().as<EncodingError>()->keyPath(), "a.b");
    EXPECT_FALSE(JSONEncoder().encode(std::string("\xff\xfe")));

    auto object = JSONSerialization::jsonObject(dataFromString(R"({"code":130401})"));
    ASSERT_TRUE(object);
    EXPECT_TRUE((*object)["code"].is_number_integer());
    EXPECT_FALSE(JSONSerialization::jsonObject(Data{}));
}

}  // namespace
}  // namespace foundation
