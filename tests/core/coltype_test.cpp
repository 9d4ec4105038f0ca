#include "core/coltype.h"

#include <gtest/gtest.h>

#include <string>

using korvel::ColumnType;
using korvel::parse_column_type;
using Kind = ColumnType::Kind;

namespace {

std::string failure_for(const std::string& text) {
    return "unknown column type `" + text +
           "` (expected one of int8..int64, uint8..uint64, float32, float64, decimal(p,s), string, bool, "
           "date, timestamp, time, binary)";
}

}  // namespace

TEST(ColumnTypeGrammar, AcceptedNames) {
    struct Case {
        const char* text;
        ColumnType expected;
    };
    const Case cases[] = {
        {"bool", {Kind::Boolean}},
        {"BOOLEAN", {Kind::Boolean}},
        {" \tint64\t ", {Kind::Int64}},
        {"int8", {Kind::Int8}},
        {"Int16", {Kind::Int16}},
        {"int32", {Kind::Int32}},
        {"uint8", {Kind::UInt8}},
        {"UINT16", {Kind::UInt16}},
        {"uint32", {Kind::UInt32}},
        {"uint64", {Kind::UInt64}},
        {"Float32", {Kind::Float32}},
        {"float64", {Kind::Float64}},
        {"string", {Kind::Utf8}},
        {"binary", {Kind::Binary}},
        {"date", {Kind::Date32}},
        {"Timestamp", {Kind::Timestamp}},
        {"time", {Kind::Time64}},
        // Unicode whitespace around the whole text: NBSP, EM SPACE, IDEOGRAPHIC SPACE, LINE SEPARATOR.
        {"\u00A0\u2003int64\u3000\u2028", {Kind::Int64}},
        {"decimal(38,38)", {Kind::Decimal128, 38, 38}},
        {"decimal(1,0)", {Kind::Decimal128, 1, 0}},
        {"DECIMAL(10,2)", {Kind::Decimal128, 10, 2}},
        {"decimal( 10 , 2 )", {Kind::Decimal128, 10, 2}},
        {"decimal(\u00A010\u3000,\u20032\u00A0)", {Kind::Decimal128, 10, 2}},
        {"decimal(+10,+2)", {Kind::Decimal128, 10, 2}},
        {"decimal(010,2)", {Kind::Decimal128, 10, 2}},
        {"decimal(00000000000000000000038,0000000000000000000002)", {Kind::Decimal128, 38, 2}},
        {"decimal(10,-0)", {Kind::Decimal128, 10, 0}},
        {"  decimal(5,5)  ", {Kind::Decimal128, 5, 5}},
    };
    for (const auto& c : cases) {
        auto parsed = parse_column_type(c.text);
        ASSERT_TRUE(parsed.ok()) << c.text << ": " << parsed.error();
        EXPECT_EQ(parsed->kind, c.expected.kind) << c.text;
        EXPECT_EQ(parsed->precision, c.expected.precision) << c.text;
        EXPECT_EQ(parsed->scale, c.expected.scale) << c.text;
    }
}

TEST(ColumnTypeGrammar, RejectedNamesQuoteTheTextAsPassed) {
    const char* cases[] = {
        "", "   ", "\t\n", "\u3000",
        "int", "integer", "bigint", "float", "double", "text", "varchar", "datetime", "decimal",
        "int 64", "int64x", "string,",
        // Bad decimal parameters.
        "decimal(0,0)", "decimal(39,2)", "decimal(10,11)", "decimal(10,-1)", "decimal(256,2)",
        "decimal(255,2)", "decimal(10,128)", "decimal(10,-129)", "decimal(-1,0)",
        // Bad decimal shapes.
        "decimal(10)", "decimal(,2)", "decimal(10,)", "decimal(10,2,1)", "decimal()", "decimal(,)",
        "decimal(10,2", "decimal (10,2)", "decimal(1 0,2)", "decimal(++10,2)", "decimal(+,2)",
        "decimal(10,+-2)", "decimal(10,2) x", "decimal(0x10,2)", "decimal(１０,2)",
        // Non-ASCII capitals are not folded; Kelvin sign and dotted capital I look like ASCII.
        "\u00C9TRING", "\u212Aint64", "b\u0130nary",
        // Invalid UTF-8 never trims or matches.
        "int64\xff", "\xc2",
    };
    for (const char* text : cases) {
        auto parsed = parse_column_type(text);
        ASSERT_FALSE(parsed.ok()) << text;
        EXPECT_EQ(parsed.error(), failure_for(text)) << text;
    }
}
