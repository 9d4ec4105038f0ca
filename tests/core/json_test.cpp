#include "core/json.h"

#include <gtest/gtest.h>

#include <limits>

using korvel::json::Array;
using korvel::json::Object;
using korvel::json::read;
using korvel::json::Value;
using korvel::json::write;

TEST(JsonWrite, CompactSortedAndEscaped) {
    Value v = Object{{"message", "a\"b\\c\n\t\x01 é"}, {"file", Array{}}, {"B", 1}, {"a", Object{}}};
    EXPECT_EQ(write(v), R"({"B":1,"a":{},"file":[],"message":"a\"b\\c\n\t\u0001 é"})");
}

TEST(JsonWrite, Numbers) {
    struct Case { Value v; const char* text; };
    const Case cases[] = {
        {Value(2.0), "2.0"},
        {Value(0.1), "0.1"},
        {Value(-0.0), "-0.0"},
        {Value(1e300), "1e+300"},
        {Value(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
        {Value(std::int64_t{-5}), "-5"},
        {Value(std::int64_t{5}), "5"},
    };
    for (const auto& c : cases) EXPECT_EQ(write(c.v), c.text);
    EXPECT_TRUE(Value(std::int64_t{5}).is_uint());
}

TEST(JsonRead, NumberKinds) {
    EXPECT_TRUE(read("18446744073709551615")->is_uint());
    EXPECT_TRUE(read("-9223372036854775808")->is_int());
    EXPECT_TRUE(read("18446744073709551616")->is_float());
    EXPECT_TRUE(read("-9223372036854775809")->is_float());
    EXPECT_TRUE(read("1.0")->is_float());
    EXPECT_TRUE(read("1e2")->is_float());
}

TEST(JsonRead, StringsAndRepeatedKeys) {
    auto v = read(R"({"k": "\ud83d\ude00\u00e9", "k": 2})");
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v->as_object().size(), 1u);
    EXPECT_EQ(*v->find("k"), Value(2));
    EXPECT_EQ(read(R"("\ud83d\ude00")")->as_string(), "\xF0\x9F\x98\x80");
}

TEST(JsonRead, Refusals) {
    struct Case { const char* text; const char* message; };
    const Case cases[] = {
        {"{\"limit\": NaN}", "expected value at line 1 column 11"},
        {"Infinity", "expected value at line 1 column 1"},
        {"\"\\ud800\"", "lone leading surrogate in hex escape at line 1 column 2"},
        {"1 2", "trailing characters at line 1 column 3"},
        {"[1,\n  x]", "expected value at line 2 column 3"},
        {"", "EOF while parsing a value at line 1 column 1"},
    };
    for (const auto& c : cases) {
        auto r = read(c.text);
        ASSERT_FALSE(r.ok()) << c.text;
        EXPECT_EQ(r.error().text(), c.message) << c.text;
    }
}

TEST(JsonRead, DepthLimit) {
    std::string ok(127, '['), deep(128, '[');
    ok += std::string(127, ']');
    deep += std::string(128, ']');
    EXPECT_TRUE(read(ok).ok());
    auto r = read(deep);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().text(), "recursion limit exceeded at line 1 column 128");
}

TEST(JsonRoundTrip, FloatsReadBackExactly) {
    for (double d : {0.1, 1.0 / 3.0, 5e-324, 1.7976931348623157e308, 123456789.0, -2.5e-7}) {
        auto r = read(write(Value(d)));
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r->as_float(), d);
    }
}

TEST(JsonWrite, StrictRefusesWhatJsonCannotCarry) {
    using korvel::json::write_strict;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case { Value v; const char* fault; };
    const Case cases[] = {
        {Object{{"a", Array{Value(1.5), Value(nan)}}}, "cannot write a non-finite float as JSON"},
        {Value(-inf), "cannot write a non-finite float as JSON"},
        {Array{Value("ok"), Value("\xC3\x28")}, "cannot write a string that is not valid UTF-8 as JSON"},
        {Object{{"\xFF", 1}}, "cannot write a key that is not valid UTF-8 as JSON"},
    };
    for (const auto& c : cases) {
        auto r = write_strict(c.v);
        ASSERT_FALSE(r.ok()) << write(c.v);
        EXPECT_EQ(r.error(), c.fault);
    }
    Value nested = Object{{"z", Object{{"b", 1}, {"B", 2}}}, {"a", Array{Value(2.0), Value("\xC3\xA9")}}};
    auto r = write_strict(nested);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(*r, "{\"a\":[2.0,\"\xC3\xA9\"],\"z\":{\"B\":2,\"b\":1}}");
}

TEST(JsonRead, OutOfRangeNumbers) {
    // Too small for a double reads as zero, whatever its spelling; too large has no value.
    for (const char* tiny : {"1e-400", "-1e-400", "0.0000000000000000000000000000000000000000000000000000000000000"
                                                   "00000000000000000000000000000000000000000000000000000000000000"
                                                   "00000000000000000000000000000000000000000000000000000000000000"
                                                   "00000000000000000000000000000000000000000000000000000000000000"
                                                   "00000000000000000000000000000000000000000000000000000000000000"
                                                   "000000000000000000000000000000000000000000000000000000001",
                             "123e-999999999999999999999"}) {
        auto r = read(tiny);
        ASSERT_TRUE(r.ok()) << tiny << ": " << r.error().text();
        EXPECT_EQ(r->as_float(), 0.0) << tiny;
    }
    std::string huge = "[0, 1" + std::string(400, '0') + "]";
    for (const std::string& text : {std::string("[0, 1e400]"), huge, std::string("[0, 0.001e999999999999999999]")}) {
        auto r = read(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_EQ(r.error().text(), "number out of range at line 1 column 5") << text;
    }
}

TEST(JsonRead, RefusalPositions) {
    struct Case { const char* text; const char* message; };
    const Case cases[] = {
        {"{\"a\": -Infinity}", "expected value at line 1 column 7"},
        {"[\"\\udc00\"]", "lone trailing surrogate in hex escape at line 1 column 3"},
        {"[\"\\ud800\\u0041\"]", "lone leading surrogate in hex escape at line 1 column 3"},
        {"\"\xC3\xA9\\x\"", "invalid escape at line 1 column 4"},
        {"\"a\nb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {"\"\xFF\"", "invalid unicode code point at line 1 column 2"},
        {"{\"a\" 1}", "expected `:` at line 1 column 6"},
        {"{1: 2}", "key must be a string at line 1 column 2"},
        {"[1,]", "expected value at line 1 column 4"},
        {"01", "invalid number at line 1 column 2"},
    };
    for (const auto& c : cases) {
        auto r = read(c.text);
        ASSERT_FALSE(r.ok()) << c.text;
        EXPECT_EQ(r.error().text(), c.message) << c.text;
    }
}
