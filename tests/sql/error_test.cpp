#include <gtest/gtest.h>

#include "core/json.h"
#include "sql/error.h"

using korvel::TimeGrain;
using korvel::sql::QueryError;

TEST(QueryError, JsonAndTextOfEveryVariant) {
    struct Case {
        QueryError error;
        const char* json;
        const char* text;
    };
    const Case cases[] = {
        {QueryError::NoMetrics{}, R"({"code":"no_metrics"})", "no metrics requested"},
        {QueryError::UnknownMetric{"revnue", {"revenue", "revenues"}},
         R"({"code":"unknown_metric","name":"revnue","suggestions":["revenue","revenues"]})",
         R"(unknown metric `revnue`; did you mean one of ["revenue", "revenues"])"},
        {QueryError::UnknownMetric{"x", {}}, R"({"code":"unknown_metric","name":"x","suggestions":[]})",
         "unknown metric `x`"},
        {QueryError::MetricsSpanTables{{"orders", "customers"}},
         R"({"code":"metrics_span_tables","tables":["orders","customers"]})",
         R"(metrics span multiple base tables (["orders", "customers"]); query one table's metrics at a time)"},
        {QueryError::UnknownDimension{"customers.regoin", {"region"}},
         R"({"code":"unknown_dimension","name":"customers.regoin","suggestions":["region"]})",
         R"(unknown dimension `customers.regoin`; did you mean one of ["region"])"},
        {QueryError::AmbiguousDimension{"id", {"a.id", "b.id"}},
         R"({"code":"ambiguous_dimension","name":"id","candidates":["a.id","b.id"]})",
         R"(dimension `id` is ambiguous; qualify it as one of ["a.id", "b.id"])"},
        {QueryError::NoJoinPath{"orders", "stores"}, R"({"code":"no_join_path","from":"orders","to":"stores"})",
         "no join path from `orders` to `stores` in the relationship graph"},
        {QueryError::FanOutJoin{"customers", "orders"},
         R"({"code":"fan_out_join","from":"customers","to":"orders"})",
         "joining `customers` to `orders` fans out (one `customers` row can match many `orders` rows), which "
         "would inflate the requested aggregates; define the metric on `orders` instead, or aggregate `orders` "
         "separately"},
        {QueryError::UnknownSortField{"customers.region", {"order_date_month", "region", "revenue"}},
         R"({"code":"unknown_sort_field","name":"customers.region","available":["order_date_month","region","revenue"]})",
         R"(unknown sort field `customers.region`; sortable fields in this query: ["order_date_month", "region", "revenue"])"},
        {QueryError::IncompatibleGrain{"revenue", TimeGrain::Hour, {TimeGrain::Day, TimeGrain::Week}},
         R"({"code":"incompatible_grain","metric":"revenue","grain":"hour","valid":["day","week"]})",
         "metric `revenue` is not valid at grain `hour`; valid grains: day, week"},
        {QueryError::NoTimeDimension{"orders"}, R"({"code":"no_time_dimension","table":"orders"})",
         "a time grain was requested but table `orders` has no time dimension column"},
        {QueryError::BadExpression{"SUM(", "sql parser error: x"},
         R"({"code":"bad_expression","expr":"SUM(","message":"sql parser error: x"})",
         "failed to parse SQL expression `SUM(`: sql parser error: x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.to_json(), c.json);
        EXPECT_EQ(c.error.text(), c.text);
        // The JSON reads back as an object carrying the same code.
        auto back = korvel::json::read(c.error.to_json());
        ASSERT_TRUE(back.ok()) << c.json;
        ASSERT_NE(back->find("code"), nullptr);
        EXPECT_EQ(back->find("code")->as_string(), c.error.code());
    }
}

TEST(QueryError, EscapingOfNames) {
    QueryError e = QueryError::AmbiguousDimension{"a\"b", {"t.a\"b\\\n\x01", "é"}};
    EXPECT_EQ(e.to_json(),
              "{\"code\":\"ambiguous_dimension\",\"name\":\"a\\\"b\",\"candidates\":[\"t.a\\\"b\\\\\\n\\u0001\",\"é\"]}");
    EXPECT_EQ(e.text(), "dimension `a\"b` is ambiguous; qualify it as one of [\"t.a\\\"b\\\\\\n\\u{1}\", \"é\"]");
}
