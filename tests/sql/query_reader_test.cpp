#include <gtest/gtest.h>

#include "core/json.h"
#include "sql/plan.h"

using korvel::TimeGrain;
using korvel::sql::plan::Query;
using korvel::sql::plan::read_query;

namespace {

korvel::Result<Query, std::string> read_text(std::string_view text) {
    auto v = korvel::json::read(text);
    EXPECT_TRUE(v.ok()) << text;
    return read_query(*v);
}

}  // namespace

TEST(QueryReader, Defaults) {
    auto q = read_text(R"({"metrics":["revenue"]})");
    ASSERT_TRUE(q.ok()) << q.error();
    EXPECT_EQ(q->metrics, std::vector<std::string>{"revenue"});
    EXPECT_TRUE(q->dimensions.empty());
    EXPECT_TRUE(q->filters.empty());
    EXPECT_TRUE(q->order_by.empty());
    EXPECT_FALSE(q->grain.has_value());
    EXPECT_FALSE(q->limit.has_value());
}

TEST(QueryReader, EveryField) {
    auto q = read_text(R"({"limit":18446744073709551615,"order_by":[{"field":"a","desc":true},{"field":"b"},["c",true],["d"]],
        "grain":{"quarter":null},"filters":["x = 1"],"dimensions":["t.c","c"],"metrics":[]})");
    ASSERT_TRUE(q.ok()) << q.error();
    EXPECT_TRUE(q->metrics.empty());
    EXPECT_EQ(q->dimensions, (std::vector<std::string>{"t.c", "c"}));
    EXPECT_EQ(q->filters, std::vector<std::string>{"x = 1"});
    EXPECT_EQ(q->grain, TimeGrain::Quarter);
    EXPECT_EQ(q->limit, 18446744073709551615ull);
    ASSERT_EQ(q->order_by.size(), 4u);
    EXPECT_EQ(q->order_by[0].field, "a");
    EXPECT_TRUE(q->order_by[0].desc);
    EXPECT_EQ(q->order_by[1].field, "b");
    EXPECT_FALSE(q->order_by[1].desc);
    EXPECT_EQ(q->order_by[2].field, "c");
    EXPECT_TRUE(q->order_by[2].desc);
    EXPECT_EQ(q->order_by[3].field, "d");
    EXPECT_FALSE(q->order_by[3].desc);
}

TEST(QueryReader, NullGrainAndLimitAreAbsent) {
    auto q = read_text(R"({"metrics":["m"],"grain":null,"limit":null})");
    ASSERT_TRUE(q.ok()) << q.error();
    EXPECT_FALSE(q->grain.has_value());
    EXPECT_FALSE(q->limit.has_value());
    auto g = read_text(R"({"metrics":["m"],"grain":"week"})");
    ASSERT_TRUE(g.ok());
    EXPECT_EQ(g->grain, TimeGrain::Week);
}

TEST(QueryReader, Positional) {
    auto q = read_text(R"([["a","b"]])");
    ASSERT_TRUE(q.ok()) << q.error();
    EXPECT_EQ(q->metrics, (std::vector<std::string>{"a", "b"}));
    auto full = read_text(R"([["a"],["d"],["f"],"hour",[["a",true]],7])");
    ASSERT_TRUE(full.ok()) << full.error();
    EXPECT_EQ(full->dimensions, std::vector<std::string>{"d"});
    EXPECT_EQ(full->grain, TimeGrain::Hour);
    EXPECT_EQ(full->limit, 7u);
    ASSERT_EQ(full->order_by.size(), 1u);
    EXPECT_TRUE(full->order_by[0].desc);
    auto nulls = read_text(R"([["a"],[],[],null,[],null])");
    ASSERT_TRUE(nulls.ok()) << nulls.error();
    EXPECT_FALSE(nulls->grain.has_value());
}

TEST(QueryReader, Messages) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {"{}", "missing field `metrics`"},
        {R"({"metrics":["a"],"dims":["x"]})",
         "unknown field `dims`, expected one of `metrics`, `dimensions`, `filters`, `grain`, `order_by`, `limit`"},
        {R"({"Metrics":["a"]})",
         "unknown field `Metrics`, expected one of `metrics`, `dimensions`, `filters`, `grain`, `order_by`, `limit`"},
        // limit sorts before metrics, and a missing field is reported last
        {R"({"limit":-1})", "invalid value: integer `-1`, expected u64"},
        {R"({"metrics":["a"],"limit":1.5})", "invalid type: floating point `1.5`, expected u64"},
        {R"({"metrics":["a"],"limit":1e3})", "invalid type: floating point `1000.0`, expected u64"},
        {R"({"metrics":["a"],"limit":18446744073709551616})",
         "invalid type: floating point `18446744073709552000.0`, expected u64"},
        {R"({"metrics":["a"],"limit":1e-7})", "invalid type: floating point `0.0000001`, expected u64"},
        {R"({"metrics":["a"],"limit":"10"})", "invalid type: string \"10\", expected u64"},
        {R"({"metrics":["a"],"limit":true})", "invalid type: boolean `true`, expected u64"},
        {R"({"metrics":null})", "invalid type: null, expected a sequence"},
        {R"({"metrics":"revenue"})", "invalid type: string \"revenue\", expected a sequence"},
        {R"({"metrics":[1]})", "invalid type: integer `1`, expected a string"},
        {R"({"metrics":["a"],"dimensions":{}})", "invalid type: map, expected a sequence"},
        {R"({"metrics":["a"],"filters":[["x"]]})", "invalid type: sequence, expected a string"},
        {R"({"metrics":["a"],"filters":[false]})", "invalid type: boolean `false`, expected a string"},
        {R"({"metrics":["a"],"order_by":null})", "invalid type: null, expected a sequence"},
        {R"({"metrics":["a"],"grain":"Day"})",
         "unknown variant `Day`, expected one of `hour`, `day`, `week`, `month`, `quarter`, `year`"},
        {R"({"metrics":["a"],"grain":{"Day":null}})",
         "unknown variant `Day`, expected one of `hour`, `day`, `week`, `month`, `quarter`, `year`"},
        {R"({"metrics":["a"],"grain":5})", "invalid type: integer `5`, expected string or map"},
        {R"({"metrics":["a"],"grain":["day"]})", "invalid type: sequence, expected string or map"},
        {R"({"metrics":["a"],"grain":{}})", "invalid value: map, expected map with a single key"},
        {R"({"metrics":["a"],"grain":{"day":null,"week":null}})", "invalid value: map, expected map with a single key"},
        {R"({"metrics":["a"],"grain":{"day":1}})", "invalid type: integer `1`, expected unit"},
        // strings in messages escape quotes, backslashes and control characters
        {R"({"metrics":"a\"b\\c\n\t\u0001"})",
         R"(invalid type: string "a\"b\\c\n\t\u{1}", expected a sequence)"},
        {"[]", "invalid length 0, expected struct Query with 6 elements"},
        {R"([["a"],[],[],null,[],null,null])", "invalid length 7, expected fewer elements in array"},
        {R"([["a"],[],[],null,[],-5,null])", "invalid value: integer `-5`, expected u64"},
        {R"("revenue")", "invalid type: string \"revenue\", expected struct Query"},
        {"null", "invalid type: null, expected struct Query"},
        {"3", "invalid type: integer `3`, expected struct Query"},
        {"-2.0", "invalid type: floating point `-2.0`, expected struct Query"},
        // order_by elements
        {R"({"metrics":["a"],"order_by":[{"field":"a","direction":"desc"}]})",
         "unknown field `direction`, expected `field` or `desc`"},
        {R"({"metrics":["a"],"order_by":[{"desc":true}]})", "missing field `field`"},
        {R"({"metrics":["a"],"order_by":[{"field":"a","desc":null}]})", "invalid type: null, expected a boolean"},
        {R"({"metrics":["a"],"order_by":[{"field":"a","desc":"yes"}]})",
         "invalid type: string \"yes\", expected a boolean"},
        {R"({"metrics":["a"],"order_by":[{"field":7}]})", "invalid type: integer `7`, expected a string"},
        {R"({"metrics":["a"],"order_by":["a"]})", "invalid type: string \"a\", expected struct OrderBy"},
        {R"({"metrics":["a"],"order_by":[[]]})", "invalid length 0, expected struct OrderBy with 2 elements"},
        {R"({"metrics":["a"],"order_by":[["a",true,1]]})", "invalid length 3, expected fewer elements in array"},
    };
    for (const auto& c : cases) {
        auto q = read_text(c.json);
        ASSERT_FALSE(q.ok()) << c.json;
        EXPECT_EQ(q.error(), c.message) << c.json;
    }
}
