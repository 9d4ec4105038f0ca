#include <gtest/gtest.h>

#include <limits>

#include "fixture.h"
#include "sql/render.h"

using namespace fixture;
using korvel::TimeGrain;
using korvel::sql::Dialect;
using korvel::sql::generate_sql;
using korvel::sql::quote;
using korvel::sql::plan::OrderBy;
using korvel::sql::plan::Query;

namespace {

constexpr Dialect kDialects[] = {Dialect::DuckDb, Dialect::Postgres, Dialect::Databricks, Dialect::Snowflake,
                                 Dialect::SqlServer};

// The statement, or the error's JSON.
std::string sql(const Project& p, const Query& q, Dialect d = Dialect::DuckDb) {
    auto r = generate_sql(p, q, d);
    return r ? *r : r.error().to_json();
}

Query query(std::vector<std::string> metrics, std::vector<std::string> dimensions = {}) {
    Query q;
    q.metrics = std::move(metrics);
    q.dimensions = std::move(dimensions);
    return q;
}

Query worked_query() {
    Query q = query({"revenue"}, {"customers.region"});
    q.grain = TimeGrain::Month;
    q.limit = 10;
    q.order_by = {OrderBy{"revenue", true}};
    return q;
}

}  // namespace

TEST(Statement, WorkedExampleInEveryDialect) {
    Project p = shop();
    const char* expected[] = {
        "SELECT\n"
        "  date_trunc('month', \"orders\".\"order_date\") AS \"order_date_month\",\n"
        "  \"customers\".\"region\" AS \"region\",\n"
        "  SUM(\"orders\".\"amount\") AS \"revenue\"\n"
        "FROM \"orders\"\n"
        "LEFT JOIN \"customers\" ON \"orders\".\"customer_id\" = \"customers\".\"customer_id\"\n"
        "GROUP BY 1, 2\n"
        "ORDER BY \"revenue\" DESC\n"
        "LIMIT 10",
        // Postgres
        "SELECT\n"
        "  date_trunc('month', \"orders\".\"order_date\") AS \"order_date_month\",\n"
        "  \"customers\".\"region\" AS \"region\",\n"
        "  SUM(\"orders\".\"amount\") AS \"revenue\"\n"
        "FROM \"orders\"\n"
        "LEFT JOIN \"customers\" ON \"orders\".\"customer_id\" = \"customers\".\"customer_id\"\n"
        "GROUP BY 1, 2\n"
        "ORDER BY \"revenue\" DESC\n"
        "LIMIT 10",
        "SELECT\n"
        "  date_trunc('month', `orders`.`order_date`) AS `order_date_month`,\n"
        "  `customers`.`region` AS `region`,\n"
        "  SUM(`orders`.`amount`) AS `revenue`\n"
        "FROM `orders`\n"
        "LEFT JOIN `customers` ON `orders`.`customer_id` = `customers`.`customer_id`\n"
        "GROUP BY 1, 2\n"
        "ORDER BY `revenue` DESC\n"
        "LIMIT 10",
        // Snowflake
        "SELECT\n"
        "  date_trunc('month', \"orders\".\"order_date\") AS \"order_date_month\",\n"
        "  \"customers\".\"region\" AS \"region\",\n"
        "  SUM(\"orders\".\"amount\") AS \"revenue\"\n"
        "FROM \"orders\"\n"
        "LEFT JOIN \"customers\" ON \"orders\".\"customer_id\" = \"customers\".\"customer_id\"\n"
        "GROUP BY 1, 2\n"
        "ORDER BY \"revenue\" DESC\n"
        "LIMIT 10",
        "SELECT TOP (10)\n"
        "  DATETRUNC(month, [orders].[order_date]) AS [order_date_month],\n"
        "  [customers].[region] AS [region],\n"
        "  SUM([orders].[amount]) AS [revenue]\n"
        "FROM [orders]\n"
        "LEFT JOIN [customers] ON [orders].[customer_id] = [customers].[customer_id]\n"
        "GROUP BY DATETRUNC(month, [orders].[order_date]), [customers].[region]\n"
        "ORDER BY [revenue] DESC",
    };
    for (std::size_t i = 0; i < std::size(kDialects); ++i)
        EXPECT_EQ(sql(p, worked_query(), kDialects[i]), expected[i]) << static_cast<int>(kDialects[i]);
}

TEST(Statement, FileSourcesUnderDuckDb) {
    Project p = shop();
    p.models[0].second.source.format = SourceFormat::Parquet;
    p.models[0].second.source.location = "data/orders.parquet";
    p.models[1].second.source.format = SourceFormat::Csv;
    p.models[1].second.source.location = "data/cust'omers.csv";
    const std::string duck = sql(p, worked_query());
    EXPECT_NE(duck.find("\nFROM read_parquet('data/orders.parquet') AS \"orders\"\n"), std::string::npos) << duck;
    EXPECT_NE(duck.find("\nLEFT JOIN read_csv_auto('data/cust''omers.csv') AS \"customers\" ON "), std::string::npos)
        << duck;
    EXPECT_NE(sql(p, worked_query(), Dialect::Postgres).find("\nFROM \"orders\"\nLEFT JOIN \"customers\" ON "),
              std::string::npos);
}

TEST(Statement, GroupingOrderingAndLimit) {
    Project p = shop();
    struct Case {
        Query query;
        Dialect dialect;
        const char* text;
    };
    Query metrics_only = query({"revenue", "order_count"});
    Query metric_sorted = metrics_only;
    metric_sorted.order_by = {OrderBy{"order_count", false}, OrderBy{"revenue", true}};
    Query two_dims = query({"revenue"}, {"status", "region"});
    two_dims.limit = 5;
    Query bucket_sorted = query({"revenue"}, {"status"});
    bucket_sorted.grain = TimeGrain::Week;
    bucket_sorted.order_by = {OrderBy{"order_date_week", false}};
    Query top_only = metrics_only;
    top_only.limit = std::numeric_limits<std::uint64_t>::max();
    const Case cases[] = {
        {metrics_only, Dialect::DuckDb,
         "SELECT\n  SUM(\"orders\".\"amount\") AS \"revenue\",\n  COUNT(*) AS \"order_count\"\nFROM \"orders\""},
        {metrics_only, Dialect::SqlServer,
         "SELECT\n  SUM([orders].[amount]) AS [revenue],\n  COUNT(*) AS [order_count]\nFROM [orders]"},
        {metric_sorted, Dialect::Postgres,
         "SELECT\n  SUM(\"orders\".\"amount\") AS \"revenue\",\n  COUNT(*) AS \"order_count\"\nFROM \"orders\"\n"
         "ORDER BY \"order_count\", \"revenue\" DESC"},
        {two_dims, Dialect::Databricks,
         "SELECT\n  `orders`.`status` AS `status`,\n  `customers`.`region` AS `region`,\n"
         "  SUM(`orders`.`amount`) AS `revenue`\nFROM `orders`\n"
         "LEFT JOIN `customers` ON `orders`.`customer_id` = `customers`.`customer_id`\n"
         "GROUP BY 1, 2\nORDER BY 1, 2\nLIMIT 5"},
        {two_dims, Dialect::SqlServer,
         "SELECT TOP (5)\n  [orders].[status] AS [status],\n  [customers].[region] AS [region],\n"
         "  SUM([orders].[amount]) AS [revenue]\nFROM [orders]\n"
         "LEFT JOIN [customers] ON [orders].[customer_id] = [customers].[customer_id]\n"
         "GROUP BY [orders].[status], [customers].[region]\nORDER BY 1, 2"},
        {bucket_sorted, Dialect::Snowflake,
         "SELECT\n  date_trunc('week', \"orders\".\"order_date\") AS \"order_date_week\",\n"
         "  \"orders\".\"status\" AS \"status\",\n  SUM(\"orders\".\"amount\") AS \"revenue\"\nFROM \"orders\"\n"
         "GROUP BY 1, 2\nORDER BY \"order_date_week\""},
        {top_only, Dialect::SqlServer,
         "SELECT TOP (18446744073709551615)\n  SUM([orders].[amount]) AS [revenue],\n  COUNT(*) AS [order_count]\n"
         "FROM [orders]"},
        {top_only, Dialect::DuckDb,
         "SELECT\n  SUM(\"orders\".\"amount\") AS \"revenue\",\n  COUNT(*) AS \"order_count\"\nFROM \"orders\"\n"
         "LIMIT 18446744073709551615"},
    };
    for (const auto& c : cases) EXPECT_EQ(sql(p, c.query, c.dialect), c.text);
}

TEST(Statement, DimensionOutputNamesAndDuplicates) {
    // A dimension's output column is named after its column alone, duplicates kept.
    Project p = shop();
    Query q = query({"revenue", "revenue"}, {"customers.customer_id", "customer_id"});
    EXPECT_EQ(sql(p, q),
              "SELECT\n  \"customers\".\"customer_id\" AS \"customer_id\",\n"
              "  \"orders\".\"customer_id\" AS \"customer_id\",\n"
              "  SUM(\"orders\".\"amount\") AS \"revenue\",\n  SUM(\"orders\".\"amount\") AS \"revenue\"\n"
              "FROM \"orders\"\nLEFT JOIN \"customers\" ON \"orders\".\"customer_id\" = \"customers\".\"customer_id\"\n"
              "GROUP BY 1, 2\nORDER BY 1, 2");
}

TEST(Statement, SortOnANameTwoOutputColumnsShare) {
    // Sorting by the shared name uses the first such column's position, which
    // every database reads the same way; unshared names stay names.
    Project p = shop();
    Query q = query({"revenue"}, {"customer_id", "customers.customer_id"});
    q.order_by = {OrderBy{"customer_id", true}, OrderBy{"revenue", false}};
    for (Dialect d : kDialects) {
        const std::string text = sql(p, q, d);
        EXPECT_NE(text.find("\nORDER BY 1 DESC, " + quote(d, "revenue")), std::string::npos) << text;
    }
    // a metric named like a dimension column
    p.models[0].second.metrics.push_back(metric("status", "COUNT(DISTINCT status)"));
    q = query({"status"}, {"status"});
    q.order_by = {OrderBy{"status", false}};
    EXPECT_EQ(sql(p, q, Dialect::Postgres),
              "SELECT\n  \"orders\".\"status\" AS \"status\",\n  COUNT(DISTINCT \"orders\".\"status\") AS \"status\"\n"
              "FROM \"orders\"\nGROUP BY 1\nORDER BY 1");
}

TEST(Statement, UnknownSortField) {
    Project p = shop();
    Query q = worked_query();
    q.order_by = {OrderBy{"revenue", false}, OrderBy{"customers.region", false}};
    EXPECT_EQ(sql(p, q),
              R"({"code":"unknown_sort_field","name":"customers.region","available":["order_date_month","region","revenue"]})");
    q.order_by = {OrderBy{"REVENUE", false}};
    EXPECT_EQ(sql(p, q, Dialect::SqlServer),
              R"({"code":"unknown_sort_field","name":"REVENUE","available":["order_date_month","region","revenue"]})");
}

TEST(Statement, WhereClause) {
    Project p = shop();
    struct Case {
        std::vector<std::string> filters;
        Dialect dialect;
        const char* where;
    };
    const Case cases[] = {
        {{"status = 'paid'"}, Dialect::DuckDb, "WHERE \"orders\".\"status\" = 'paid'"},
        {{"status = 'paid' OR amount > 10"}, Dialect::DuckDb,
         "WHERE \"orders\".\"status\" = 'paid' OR \"orders\".\"amount\" > 10"},
        {{"status = 'a' OR status = 'b'", "amount > 1"}, Dialect::SqlServer,
         "WHERE ([orders].[status] = 'a' OR [orders].[status] = 'b') AND [orders].[amount] > 1"},
        {{"amount > 1", "status = 'a' OR region = 'b'"}, Dialect::Databricks,
         "WHERE `orders`.`amount` > 1 AND (`orders`.`status` = 'a' OR region = 'b')"},
        // an AND at the top level, or parentheses the author wrote, need nothing added
        {{"amount > 1 AND amount < 5", "(status = 'a' OR status = 'b')"}, Dialect::Postgres,
         "WHERE \"orders\".\"amount\" > 1 AND \"orders\".\"amount\" < 5 AND (\"orders\".\"status\" = 'a' OR "
         "\"orders\".\"status\" = 'b')"},
        // a joined table's column is written by the author, qualified or not
        {{"customers.region = 'EU'", "region = 'EU'"}, Dialect::Snowflake,
         "WHERE customers.region = 'EU' AND region = 'EU'"},
    };
    for (const auto& c : cases) {
        Query q = query({"order_count"});
        q.filters = c.filters;
        EXPECT_EQ(sql(p, q, c.dialect), sql(p, query({"order_count"}), c.dialect) + "\n" + c.where);
    }
    // WHERE comes before GROUP BY and ORDER BY.
    Query q = query({"order_count"}, {"status"});
    q.filters = {"amount > 0"};
    q.limit = 3;
    EXPECT_EQ(sql(p, q),
              "SELECT\n  \"orders\".\"status\" AS \"status\",\n  COUNT(*) AS \"order_count\"\nFROM \"orders\"\n"
              "WHERE \"orders\".\"amount\" > 0\nGROUP BY 1\nORDER BY 1\nLIMIT 3");
}

TEST(Statement, ErrorsInStageOrder) {
    Project p = shop();
    auto& orders = p.models[0].second;
    orders.metrics.push_back(metric("broken", "SUM(amount"));
    orders.metrics.push_back(metric("bad_filter", "SUM(amount)", {"status = "}));
    auto code = [&](Query q) {
        auto r = generate_sql(p, q, Dialect::DuckDb);
        return r ? std::string("ok") : std::string(r.error().code());
    };
    Query q = query({"revenue", "broken", "bad_filter"}, {"nope"});
    q.filters = {"amount >"};
    q.order_by = {OrderBy{"zzz", false}};
    EXPECT_EQ(code(q), "unknown_dimension");  // resolution first
    q.dimensions = {};
    auto first = generate_sql(p, q, Dialect::DuckDb);
    ASSERT_FALSE(first.ok());
    const auto* bad = first.error().get<korvel::sql::QueryError::BadExpression>();
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->expr, "SUM(amount");  // metric by metric
    q.metrics = {"bad_filter", "revenue"};
    first = generate_sql(p, q, Dialect::DuckDb);
    ASSERT_FALSE(first.ok());
    bad = first.error().get<korvel::sql::QueryError::BadExpression>();
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->expr, "status = ");  // the failing filter's own text
    q.metrics = {"revenue"};
    first = generate_sql(p, q, Dialect::DuckDb);
    ASSERT_FALSE(first.ok());
    bad = first.error().get<korvel::sql::QueryError::BadExpression>();
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->expr, "amount >");  // then query filters
    q.filters = {};
    EXPECT_EQ(code(q), "unknown_sort_field");
}

TEST(Statement, HostileInput) {
    // Every quote character in table, column and metric names, and in a location.
    const std::string odd = "q\"b`k]o[s'";
    Model base = model(odd, {});
    base.columns.push_back(column(odd + "col"));
    base.columns.push_back(column(odd + "time", true));
    base.metrics.push_back(metric(odd + "m", "COUNT(*)"));
    base.source.format = SourceFormat::Parquet;
    base.source.location = "it's/\"odd\".parquet";
    base.relationships.push_back(rel_on(odd + "other", Cardinality::ManyToOne, odd + "key"));
    Model other = model(odd + "other", {});
    other.columns.push_back(column(odd + "dim"));
    Project p = project({base, other});
    Query q = query({odd + "m"}, {odd + "col", odd + "dim"});
    q.grain = TimeGrain::Day;
    q.order_by = {OrderBy{odd + "m", true}};
    EXPECT_EQ(sql(p, q, Dialect::DuckDb),
              "SELECT\n"
              "  date_trunc('day', \"q\"\"b`k]o[s'\".\"q\"\"b`k]o[s'time\") AS \"q\"\"b`k]o[s'time_day\",\n"
              "  \"q\"\"b`k]o[s'\".\"q\"\"b`k]o[s'col\" AS \"q\"\"b`k]o[s'col\",\n"
              "  \"q\"\"b`k]o[s'other\".\"q\"\"b`k]o[s'dim\" AS \"q\"\"b`k]o[s'dim\",\n"
              "  COUNT(*) AS \"q\"\"b`k]o[s'm\"\n"
              "FROM read_parquet('it''s/\"odd\".parquet') AS \"q\"\"b`k]o[s'\"\n"
              "LEFT JOIN \"q\"\"b`k]o[s'other\" ON \"q\"\"b`k]o[s'\".\"q\"\"b`k]o[s'key\" = "
              "\"q\"\"b`k]o[s'other\".\"q\"\"b`k]o[s'key\"\n"
              "GROUP BY 1, 2, 3\n"
              "ORDER BY \"q\"\"b`k]o[s'm\" DESC");
    EXPECT_EQ(sql(p, q, Dialect::SqlServer),
              "SELECT\n"
              "  DATETRUNC(day, [q\"b`k]]o[s'].[q\"b`k]]o[s'time]) AS [q\"b`k]]o[s'time_day],\n"
              "  [q\"b`k]]o[s'].[q\"b`k]]o[s'col] AS [q\"b`k]]o[s'col],\n"
              "  [q\"b`k]]o[s'other].[q\"b`k]]o[s'dim] AS [q\"b`k]]o[s'dim],\n"
              "  COUNT(*) AS [q\"b`k]]o[s'm]\n"
              "FROM [q\"b`k]]o[s']\n"
              "LEFT JOIN [q\"b`k]]o[s'other] ON [q\"b`k]]o[s'].[q\"b`k]]o[s'key] = "
              "[q\"b`k]]o[s'other].[q\"b`k]]o[s'key]\n"
              "GROUP BY DATETRUNC(day, [q\"b`k]]o[s'].[q\"b`k]]o[s'time]), [q\"b`k]]o[s'].[q\"b`k]]o[s'col], "
              "[q\"b`k]]o[s'other].[q\"b`k]]o[s'dim]\n"
              "ORDER BY [q\"b`k]]o[s'm] DESC");
    const std::string databricks = sql(p, q, Dialect::Databricks);
    EXPECT_NE(databricks.find("`q\"b``k]o[s'`.`q\"b``k]o[s'col` AS `q\"b``k]o[s'col`"), std::string::npos) << databricks;
}

TEST(Statement, ThousandsOfDimensionsAndFilters) {
    Model base = model("t", {});
    for (int i = 0; i < 5000; ++i) base.columns.push_back(column(fmt::format("c{}", i)));
    std::vector<std::string> filters;
    for (int i = 0; i < 20000; ++i) filters.push_back(fmt::format("c{} = {} OR c1 = 2", i % 5000, i));
    base.metrics.push_back(metric("m", "SUM(c0)", filters));
    Project p = project({base});
    Query q = query({"m"});
    for (int i = 0; i < 5000; ++i) q.dimensions.push_back(fmt::format("c{}", i));
    q.filters = filters;
    for (Dialect d : kDialects) {
        auto r = generate_sql(p, q, d);
        ASSERT_TRUE(r.ok()) << r.error().text();
        // every dimension is grouped (by position, or by its column under SQL Server) and
        // ordered by position
        if (d == Dialect::SqlServer)
            EXPECT_NE(r->find("\nGROUP BY [t].[c0], [t].[c1], "), std::string::npos);
        else
            EXPECT_NE(r->find("\nGROUP BY 1, 2, "), std::string::npos);
        EXPECT_NE(r->find(d == Dialect::SqlServer ? ", [t].[c4999]\nORDER BY 1, 2, " : ", 4999, 5000\nORDER BY 1, 2, "),
                  std::string::npos);
        if (d == Dialect::DuckDb) {
            // The metric's filters all hold, in file order, however many there are.
            std::string condition;
            for (int i = 0; i < 20000; ++i)
                condition += fmt::format("{}(\"t\".\"c{}\" = {} OR \"t\".\"c1\" = 2)", i ? " AND " : "", i % 5000, i);
            EXPECT_NE(r->find("  SUM(\"t\".\"c0\") FILTER (WHERE " + condition + ") AS \"m\"\nFROM \"t\"\nWHERE "),
                      std::string::npos);
        }
        // each OR filter is parenthesised when there are several
        const std::string first = "(" + quote(d, "t") + "." + quote(d, "c0") + " = 0 OR ";
        EXPECT_NE(r->find("\nWHERE " + first), std::string::npos);
    }
}
