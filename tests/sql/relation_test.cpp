#include <gtest/gtest.h>

#include "fixture.h"
#include "sql/render.h"

using namespace fixture;
using korvel::sql::Dialect;
using korvel::sql::quote;
using korvel::sql::render_relation;

namespace {

Model sourced(SourceFormat format, std::optional<std::string> location, std::optional<std::string> schema = {},
              std::optional<std::string> relation = {}, std::string table = "orders") {
    Model m = model(std::move(table), {});
    m.source.format = format;
    m.source.location = std::move(location);
    m.source.schema = std::move(schema);
    m.source.relation = std::move(relation);
    return m;
}

}  // namespace

TEST(Relation, FileFormsUnderDuckDb) {
    struct Case {
        SourceFormat format;
        const char* text;
    };
    const Case cases[] = {
        {SourceFormat::Delta, R"(delta_scan('s3://b/o''k') AS "orders")"},
        {SourceFormat::Iceberg, R"(iceberg_scan('s3://b/o''k') AS "orders")"},
        {SourceFormat::Parquet, R"(read_parquet('s3://b/o''k') AS "orders")"},
        {SourceFormat::Csv, R"(read_csv_auto('s3://b/o''k') AS "orders")"},
        {SourceFormat::Txt, R"(read_csv_auto('s3://b/o''k') AS "orders")"},
        {SourceFormat::Json, R"(read_json_auto('s3://b/o''k') AS "orders")"},
        // a database format ignores the location
        {SourceFormat::Postgres, R"("orders")"},
        {SourceFormat::Duckdb, R"("orders")"},
    };
    for (const auto& c : cases) EXPECT_EQ(render_relation(sourced(c.format, "s3://b/o'k"), Dialect::DuckDb), c.text);
}

TEST(Relation, RelationForms) {
    struct Case {
        Model model;
        Dialect dialect;
        const char* text;
    };
    const Case cases[] = {
        {sourced(SourceFormat::Parquet, "data/orders.parquet"), Dialect::Postgres, R"("orders")"},
        {sourced(SourceFormat::Csv, std::nullopt), Dialect::DuckDb, R"("orders")"},
        {sourced(SourceFormat::Parquet, std::nullopt, "raw"), Dialect::DuckDb, R"("raw"."orders")"},
        {sourced(SourceFormat::Postgres, std::nullopt, "analytics", "fact_orders"), Dialect::Postgres,
         R"("analytics"."fact_orders" AS "orders")"},
        {sourced(SourceFormat::Postgres, std::nullopt, "analytics", "orders"), Dialect::Postgres,
         R"("analytics"."orders")"},
        {sourced(SourceFormat::Sqlserver, std::nullopt, "dbo", "fact_orders"), Dialect::SqlServer,
         "[dbo].[fact_orders] AS [orders]"},
        {sourced(SourceFormat::Databricks, std::nullopt, std::nullopt, "fact"), Dialect::Databricks,
         "`fact` AS `orders`"},
        {sourced(SourceFormat::Snowflake, "ignored", "S", "F"), Dialect::Snowflake, R"("S"."F" AS "orders")"},
        // quote characters inside names are doubled by each dialect's rule
        {sourced(SourceFormat::Postgres, std::nullopt, "a\"b", "r]`", "t[x]`\"'"), Dialect::SqlServer,
         "[a\"b].[r]]`] AS [t[x]]`\"']"},
        {sourced(SourceFormat::Postgres, std::nullopt, "a\"b", "r]`", "t[x]`\"'"), Dialect::Databricks,
         "`a\"b`.`r]``` AS `t[x]``\"'`"},
        {sourced(SourceFormat::Postgres, std::nullopt, "a\"b", "r]`", "t[x]`\"'"), Dialect::DuckDb,
         "\"a\"\"b\".\"r]`\" AS \"t[x]`\"\"'\""},
    };
    for (const auto& c : cases) EXPECT_EQ(render_relation(c.model, c.dialect), c.text);
}

TEST(Relation, FileFunctionOnlyUnderDuckDb) {
    Model m = sourced(SourceFormat::Parquet, "x.parquet");
    EXPECT_EQ(render_relation(m, Dialect::Postgres), R"("orders")");
    EXPECT_EQ(render_relation(m, Dialect::Databricks), "`orders`");
    EXPECT_EQ(render_relation(m, Dialect::Snowflake), R"("orders")");
    EXPECT_EQ(render_relation(m, Dialect::SqlServer), "[orders]");
    // the table function keeps the schema and relation out of the picture
    Model full = sourced(SourceFormat::Parquet, "x.parquet", "s", "r");
    EXPECT_EQ(render_relation(full, Dialect::DuckDb), R"(read_parquet('x.parquet') AS "orders")");
}
