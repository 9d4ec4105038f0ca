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
