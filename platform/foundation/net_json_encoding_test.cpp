#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "foundation/JSON.h"

namespace foundation {
namespace {

std::string text(const std::expected<Data, Error>& data) {
    EXPECT_TRUE(data.has_value()) << (data ? "" : data.error().localizedDescription());
    return data ? stringFromData(*data) : std::string();
}

// Values of every kind, with text that needs every escape, multi-byte characters at every offset of an
// eight-byte word, and numbers of every form nlohmann-json writes.
class ValueMaker {
  public:
    JSONValue value(int depth) {
        switch (pick(depth > 0 ? 9 : 6)) {
            case 0:
                return nullptr;
            case 1:
                return pick(2) == 0;
            case 2:
                return integer();
            case 3:
                return number();
            case 4:
            case 5:
                return string();
            case 6:
            case 7: {
                JSONValue object = JSONValue::object();
                for (int i = pick(6); i > 0; --i) object[string()] = value(depth - 1);
                return object;
            }
            default: {
                JSONValue array = JSONValue::array();
                for (int i = pick(6); i > 0; --i) array.push_back(value(depth - 1));
                return array;
            }
        }
    }

    std::string string() {
        static const std::vector<std::string> pieces{"a",
                                                     "Harbour Derby",
                                                     "\"",
                                                     "\\",
                                                     "/",
                                                     "\b",
                                                     "\f",
                                                     "\n",
                                                     "\r",
                                                     "\t",
                                                     std::string(1, '\0'),
                                                     "\x01",
                                                     "\x1f",
                                                     "\x7f",
                                                     " ",
                                                     "\xc3\xa9",
                                                     "\xe2\x82\xac",
                                                     "\xf0\x9f\x8e\xac",
                                                     "\xe2\x80\xa8",
                                                     "0123456789abcdef",
                                                     "{}[]:,"};
        std::string out;
        for (int i = pick(12); i > 0; --i)
            out += pieces[static_cast<std::size_t>(pick(static_cast<int>(pieces.size())))];
        return out;
    }

    std::int64_t integer() {
        switch (pick(4)) {
            case 0:
                return std::numeric_limits<std::int64_t>::min();
            case 1:
                return std::numeric_limits<std::int64_t>::max();
            default:
                return std::uniform_int_distribution<std::int64_t>(-100000, 100000)(random_);
        }
    }

    double number() {
        static const std::vector<double> special{0.0,
                                                 -0.0,
                                                 1.0,
                                                 0.1,
                                                 1e21,
                                                 1e-7,
                                                 123456789012345678.0,
                                                 5e-324,
                                                 1e308,
                                                 -2.5,
                                                 100.0,
                                                 1e16,
                                                 1e15,
                                                 0.30000000000000004,
                                                 120.5,
                                                 3.14159,
                                                 1.0 / 3,
                                                 150000.0,
                                                 2e-310,
                                                 9007199254740993.0};
        if (pick(3) == 0) return special[static_cast<std::size_t>(pick(static_cast<int>(special.size())))];
        const double mantissa = std::uniform_real_distribution<double>(-1, 1)(random_);
        return std::ldexp(mantissa, pick(200) - 100);
    }

    // A Float: written as the double it widens to.
    float ratio() {
        return static_cast<float>(std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random_), pick(80) - 40));
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  private:
    std::mt19937 random_{20240305};
};

// A model written key by key: text, numbers of several types, optional and nested values.
struct Sample {
    std::string name;
    std::vector<std::string> tags;
    std::vector<double> readings;
    std::vector<bool> flags;
    std::map<std::string, std::int64_t> counts;
    std::optional<std::uint64_t> big;
    std::optional<float> ratio;
    std::int8_t small = 0;
    JSONValue raw;

    void encode(KeyedEncodingContainer& c) const {
        c.encode("name", name);
        c.encode("tags", tags);
        c.encode("readings", readings);
        c.encode("flags", flags);
        c.encode("counts", counts);
        c.encodeIfPresent("big", big);
        c.encode("ratio", ratio);  // written as null when absent
        c.encode("small", small);
        c.encode("raw", raw);
    }
};

}  // namespace

TEST(JSONEncoderTest, TextIsByteForByteWhatNlohmannJsonWrites) {
    ValueMaker make;
    for (int i = 0; i < 400; ++i) {
        const JSONValue value = make.value(3);
        const std::string reference = value.dump();
        EXPECT_EQ(text(JSONSerialization::data(value)), reference);
        EXPECT_EQ(text(JSONEncoder().encode(value)), reference);

        Sample sample;
        sample.name = make.string();
        for (int n = make.pick(5); n > 0; --n) sample.tags.push_back(make.string());
        for (int n = make.pick(5); n > 0; --n) sample.readings.push_back(make.number());
        for (int n = make.pick(3); n > 0; --n) sample.flags.push_back(make.pick(2) == 0);
        for (int n = make.pick(4); n > 0; --n) sample.counts[make.string()] = make.integer();
        if (make.pick(2) == 0) sample.big = std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(i);
        if (make.pick(2) == 0) sample.ratio = make.ratio();
        sample.small = static_cast<std::int8_t>(make.pick(256) - 128);
        sample.raw = value;
        const auto tree = JSONEncoder().encodeToValue(sample);
        ASSERT_TRUE(tree) << tree.error().localizedDescription();
        EXPECT_EQ(text(JSONEncoder().encode(sample)), tree->dump());
    }

    // Pinned, so that the reference itself cannot drift unseen.
    EXPECT_EQ(text(JSONSerialization::data(JSONValue{{"t", "q\"b\\s/\b\f\n\r\t\x01\x1f\x7f\xc3\xa9"},
                                                     {"n", {0.1, -0.0, 1e21, 1e-7, 100.0, 5e-324, 1.0f}},
                                                     {"i", {-9223372036854775807LL - 1, 18446744073709551615ULL}}})),
              "{\"t\":\"q\\\"b\\\\s/\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\xc3\xa9\","
              "\"n\":[0.1,-0.0,1e+21,1e-07,100.0,5e-324,1.0],\"i\":[-9223372036854775808,18446744073709551615]}");
}

TEST(JSONEncoderTest, KeysWrittenAgainKeepTheirPlaceInSmallAndLargeObjects) {
    // Objects of a few keys and of many (found again another way) behave alike.
    for (int keys : {3, 40, 1000}) {
        struct Wide {
            int keys;
            void encode(KeyedEncodingContainer& c) const {
                for (int i = 0; i < keys; ++i) c.encode("k" + std::to_string(i), i);
                c.encode("k1", std::string("again"));
                c.encode("k" + std::to_string(keys - 1), true);
                c.encodeNil("k0");
                c.encode("last", 1);
            }
        };
        std::string expected = "{\"k0\":null,\"k1\":\"again\"";
        for (int i = 2; i < keys - 1; ++i) expected += ",\"k" + std::to_string(i) + "\":" + std::to_string(i);
        expected += ",\"k" + std::to_string(keys - 1) + "\":true,\"last\":1}";
        EXPECT_EQ(text(JSONEncoder().encode(Wide{keys})), expected) << keys;
    }

    // Converted keys are the keys compared: two spellings of one snake-case key are one key; a dictionary's
    // keys are never converted.
    struct Spellings {
        void encode(KeyedEncodingContainer& c) const {
            c.encode("userID", 1);
            c.encode("myURLValue", 2);
            c.encode("user_id", 3);
            c.encode("table", std::map<std::string, int>{{"aB", 1}, {"a_b", 2}});
            auto nested = c.nestedUnkeyedContainer("itemList");
            nested.encode(std::string("x"));
            auto inner = nested.nestedContainer();
            inner.encode("innerKey", false);
            nested.encodeNil();
        }
    };
    JSONEncoder snake;
    snake.keyEncodingStrategy = KeyEncodingStrategy::convertToSnakeCase;
    EXPECT_EQ(text(snake.encode(Spellings{})),
              R"({"user_id":3,"my_url_value":2,"table":{"aB":1,"a_b":2},"item_list":["x",{"inner_key":false},null]})");
    EXPECT_EQ(
        text(JSONEncoder().encode(Spellings{})),
        R"({"userID":1,"myURLValue":2,"user_id":3,"table":{"aB":1,"a_b":2},"itemList":["x",{"innerKey":false},null]})");
}

TEST(JSONEncoderTest, FailuresNameTheirKeyPathAndKeepTheirMessages) {
    // Containers know their paths, however they were reached.
    struct Deep {
        std::vector<CodingPath>* seen;
        void encode(KeyedEncodingContainer& c) const {
            seen->push_back(c.codingPath());
            auto list = c.nestedUnkeyedContainer("list");
            list.encode(1);
            auto item = list.nestedContainer();
            seen->push_back(item.codingPath());
            auto deeper = item.nestedContainer("deeper");
            seen->push_back(deeper.codingPath());
            deeper.encode("value", std::vector<double>{1.0, std::numeric_limits<double>::quiet_NaN()});
            deeper.encode("after", -std::numeric_limits<double>::infinity());  // the first failure wins
        }
    };
    std::vector<CodingPath> seen;
    auto failed = JSONEncoder().encode(std::vector<Deep>{Deep{&seen}});
    ASSERT_FALSE(failed);
    const auto* error = failed.error().as<EncodingError>();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->keyPath(), "[0].list[1].deeper.value[1]");
    EXPECT_EQ(failed.error().localizedDescription(),
              "Unable to encode Double.nan directly in JSON (key path \"[0].list[1].deeper.value[1]\").");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(describeCodingPath(seen[0]), "[0]");
    EXPECT_EQ(describeCodingPath(seen[1]), "[0].list[1]");
    EXPECT_EQ(describeCodingPath(seen[2]), "[0].list[1].deeper");
    EXPECT_EQ(seen[1].back(), CodingKey::index(1));
    EXPECT_FALSE(JSONEncoder().encodeToValue(std::vector<Deep>{Deep{&seen}}));

    // Text that is not UTF-8 fails with the reference writer's message; a number that is not finite inside a
    // JSON value fails first wherever it stands, with its path inside the value.
    auto bad = JSONEncoder().encode(std::string("ok\xff"));
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().localizedDescription(),
              "Unable to encode text that is not valid UTF-8: [json.exception.type_error.316] invalid UTF-8 byte at "
              "index 2: 0xFF (at the top level).");
    auto truncated = JSONSerialization::data(JSONValue{{"k\xe2\x82", 1}});
    ASSERT_FALSE(truncated);
    EXPECT_EQ(truncated.error().localizedDescription(),
              "Unable to encode text that is not valid UTF-8: [json.exception.type_error.316] incomplete UTF-8 "
              "string; last byte: 0x82 (at the top level).");
    const JSONValue mixed{{"a", "\xc0\xaf"}, {"b", {{"c", {1, std::numeric_limits<double>::infinity()}}}}};
    auto both = JSONSerialization::data(mixed);
    ASSERT_FALSE(both);
    EXPECT_EQ(both.error().as<EncodingError>()->keyPath(), "b.c[1]");
    EXPECT_EQ(both.error().as<EncodingError>()->invalidValueCase().valueDescription, "Double.infinity");

    // The value form of an encode reports what the model wrote, not how its text would be written.
    struct Raw {
        JSONValue value;
        void encode(KeyedEncodingContainer& c) const { c.encode("raw", value); }
    };
    EXPECT_TRUE(JSONEncoder().encodeToValue(Raw{mixed}));
    EXPECT_FALSE(JSONEncoder().encode(Raw{mixed}));
}

}  // namespace foundation
