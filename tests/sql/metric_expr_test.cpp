#include <gtest/gtest.h>

#include "fixture.h"
#include "sql/render.h"

using namespace fixture;
using korvel::sql::Dialect;
using korvel::sql::is_aggregate;
using korvel::sql::QueryError;
using korvel::sql::render_metric;

namespace {

Model orders() { return model("orders", {"amount", "status", "order_id", "x", "y", "z"}); }

// The printed metric, or the error's JSON.
std::string printed(const std::string& expr, std::vector<std::string> filters, Dialect d) {
    Model base = orders();
    auto r = render_metric(metric("m", expr, std::move(filters)), korvel::sql::Qualifier(base, d));
    return r ? *r : r.error().to_json();
}

}  // namespace

TEST(MetricExpr, FiltersByDialect) {
    const std::vector<std::string> paid = {"status = 'paid'"};
    struct Case {
        std::string expr;
        std::vector<std::string> filters;
        Dialect dialect;
        const char* text;
    };
    const Case cases[] = {
        {"SUM(amount)", paid, Dialect::SqlServer, "SUM(CASE WHEN [orders].[status] = 'paid' THEN [orders].[amount] END)"},
        {"SUM(amount)", paid, Dialect::Snowflake,
         R"(SUM(CASE WHEN "orders"."status" = 'paid' THEN "orders"."amount" END))"},
        {"SUM(amount)", paid, Dialect::DuckDb, R"(SUM("orders"."amount") FILTER (WHERE "orders"."status" = 'paid'))"},
        {"SUM(amount)", paid, Dialect::Postgres, R"(SUM("orders"."amount") FILTER (WHERE "orders"."status" = 'paid'))"},
        {"SUM(amount)", paid, Dialect::Databricks, "SUM(`orders`.`amount`) FILTER (WHERE `orders`.`status` = 'paid')"},
        {"COUNT(*)", paid, Dialect::SqlServer, "COUNT(CASE WHEN [orders].[status] = 'paid' THEN 1 END)"},
        {"COUNT(*)", paid, Dialect::Postgres, R"(COUNT(*) FILTER (WHERE "orders"."status" = 'paid'))"},
        {"SUM(amount) / COUNT(DISTINCT order_id)", paid, Dialect::Snowflake,
         R"(SUM(CASE WHEN "orders"."status" = 'paid' THEN "orders"."amount" END) / )"
         R"(COUNT(DISTINCT CASE WHEN "orders"."status" = 'paid' THEN "orders"."order_id" END))"},
        {"SUM(amount) / COUNT(DISTINCT order_id)", paid, Dialect::DuckDb,
         R"(SUM("orders"."amount") FILTER (WHERE "orders"."status" = 'paid') / )"
         R"(COUNT(DISTINCT "orders"."order_id") FILTER (WHERE "orders"."status" = 'paid'))"},
        // an aggregate with its own FILTER keeps it and receives nothing
        {"SUM(amount) FILTER (WHERE amount > 0) + MAX(amount)", paid, Dialect::DuckDb,
         R"(SUM("orders"."amount") FILTER (WHERE "orders"."amount" > 0) + )"
         R"(MAX("orders"."amount") FILTER (WHERE "orders"."status" = 'paid'))"},
        // three filters nest to the left; an OR filter is parenthesised under the AND
        {"SUM(amount)", {"x = 1 OR y = 2", "z = 3", "status = 'a'"}, Dialect::Postgres,
         R"(SUM("orders"."amount") FILTER (WHERE ("orders"."x" = 1 OR "orders"."y" = 2) AND "orders"."z" = 3 AND )"
         R"("orders"."status" = 'a'))"},
        {"SUM(amount)", {"x = 1", "z = 3"}, Dialect::SqlServer,
         "SUM(CASE WHEN [orders].[x] = 1 AND [orders].[z] = 3 THEN [orders].[amount] END)"},
        // names matched by their last part, ASCII case-insensitively
        {"Sum(amount) + analytics.sum(x) + summary(y)", {"z = 3"}, Dialect::DuckDb,
         R"(Sum("orders"."amount") FILTER (WHERE "orders"."z" = 3) + analytics.sum("orders"."x") FILTER (WHERE )"
         R"("orders"."z" = 3) + summary("orders"."y"))"},
        // no aggregate: no filter at all
        {"amount * 2", paid, Dialect::SqlServer, "[orders].[amount] * 2"},
        // nested aggregates are each treated
        {"MAX(SUM(amount))", {"z = 3"}, Dialect::SqlServer,
         "MAX(CASE WHEN [orders].[z] = 3 THEN SUM(CASE WHEN [orders].[z] = 3 THEN [orders].[amount] END) END)"},
        // unknown and already qualified names stay as written; no filters, no change
        {"SUM(amont) + SUM(customers.region) + SUM(\"amount\")", {}, Dialect::DuckDb,
         R"(SUM(amont) + SUM(customers.region) + SUM("orders"."amount"))"},
    };
    for (const auto& c : cases) EXPECT_EQ(printed(c.expr, c.filters, c.dialect), c.text) << c.expr;
}

TEST(MetricExpr, QualifiedWildcardStaysUnderCaseStyle) {
    EXPECT_EQ(printed("COUNT(orders.*)", {"z = 3"}, Dialect::Snowflake), "COUNT(orders.*)");
}

TEST(MetricExpr, BadExpressions) {
    struct Case {
        std::string expr;
        std::vector<std::string> filters;
        std::string failing;
    };
    const Case cases[] = {
        {"SUM(amount) extra", {}, "SUM(amount) extra"},
        {"", {}, ""},
        {"SUM(amount", {}, "SUM(amount"},
        {"SUM(amount)", {"status = 'a'", "status ="}, "status ="},
        {"SUM(amount", {"status ="}, "SUM(amount"},
    };
    for (Dialect d : {Dialect::DuckDb, Dialect::SqlServer}) {
        for (const auto& c : cases) {
            Model base = orders();
            auto r = render_metric(metric("m", c.expr, c.filters), korvel::sql::Qualifier(base, d));
            ASSERT_FALSE(r.ok()) << c.expr;
            const auto* bad = r.error().get<QueryError::BadExpression>();
            ASSERT_NE(bad, nullptr) << c.expr;
            EXPECT_EQ(bad->expr, c.failing);
            if (c.failing == "SUM(amount) extra")
                EXPECT_EQ(bad->message, "unexpected trailing input starting at `extra`; expected a single expression");
            else
                EXPECT_EQ(bad->message.rfind("sql parser error: ", 0), 0u) << bad->message;
        }
    }
}

TEST(MetricExpr, DeepNestingIsRefusedCleanly) {
    std::string deep = std::string(100000, '(') + "amount" + std::string(100000, ')');
    Model base = orders();
    auto r = render_metric(metric("m", "SUM(" + deep + ")"), korvel::sql::Qualifier(base, Dialect::DuckDb));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code(), "bad_expression");
    std::string calls;
    for (int i = 0; i < 50000; ++i) calls += "abs(";
    calls += "amount" + std::string(50000, ')');
    EXPECT_EQ(render_metric(metric("m", calls), korvel::sql::Qualifier(base, Dialect::SqlServer)).error().code(),
              "bad_expression");
}

TEST(MetricExpr, IsAggregate) {
    for (const char* name : {"count", "SUM", "Avg", "min", "MAX", "median", "stddev", "stddev_pop", "STDDEV_SAMP",
                             "variance", "var_pop", "var_samp", "bool_and", "bool_or", "percentile_cont",
                             "percentile_disc", "approx_count_distinct"})
        EXPECT_TRUE(is_aggregate(name)) << name;
    for (const char* name : {"summary", "sums", "count_if", "", "string_agg", "SUMÉ"}) EXPECT_FALSE(is_aggregate(name)) << name;
    EXPECT_FALSE(is_aggregate(std::vector<korvel::sql::Ident>{}));
    EXPECT_TRUE(is_aggregate(std::vector<korvel::sql::Ident>{{"analytics", '\0'}, {"Sum", '"'}}));
    EXPECT_FALSE(is_aggregate(std::vector<korvel::sql::Ident>{{"sum", '\0'}, {"x", '\0'}}));
}
