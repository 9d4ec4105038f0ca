#include "core/validate.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "project_fixture.h"

using namespace korvel;
using namespace korvel::testing;

namespace {

struct Case {
    const char* name;
    std::function<Project()> build;
    std::vector<Issue> expected;
};

std::string bad_type(const std::string& column, const std::string& type) {
    return "column `" + column + "`: unknown column type `" + type +
           "` (expected one of int8..int64, uint8..uint64, float32, float64, decimal(p,s), string, bool, "
           "date, timestamp, time, binary)";
}

Project with_connection(Model m, std::string name, ConnectionKind kind) {
    Project p = project({{"models/a.yml", std::move(m)}});
    Connection c;
    c.kind = kind;
    p.manifest.connections[std::move(name)] = c;
    return p;
}

Model database_model(SourceFormat format, OptText connection) {
    Model m = table("orders");
    m.source.format = format;
    m.source.location.reset();
    m.source.connection = std::move(connection);
    return m;
}

void run(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(validate(c.build()), c.expected);
    }
}

}  // namespace

TEST(IssueForms, TextAndJson) {
    Issue issue{"models/orders.yml", "duplicate column `id`"};
    EXPECT_EQ(issue.text(), "models/orders.yml: duplicate column `id`");
    EXPECT_EQ(json::write(issues_to_json({issue})),
              R"([{"file":"models/orders.yml","message":"duplicate column `id`"}])");
    EXPECT_EQ(json::write(issues_to_json({})), "[]");
}

TEST(Validate, TableNamesAndSources) {
    run({
        {"no models", [] { return project({}); }, {}},
        {"valid parquet table", [] { return project({{"a.yml", table("orders")}}); }, {}},
        {"three models share a table name",
         [] {
             return project({{"a.yml", table("orders")}, {"b.yml", table("orders")}, {"c.yml", table("orders")}});
         },
         {{"b.yml", "duplicate table name `orders`"}, {"c.yml", "duplicate table name `orders`"}}},
        {"table names compare case-sensitively",
         [] { return project({{"a.yml", table("orders")}, {"b.yml", table("Orders")}}); },
         {}},
        {"parquet without location but with connection",
         [] {
             Model m = table("orders");
             m.source.location.reset();
             m.source.connection = "wh";
             return project({{"a.yml", m}});
         },
         {{"a.yml", "source format `Parquet` requires `location`"},
          {"a.yml", "file-based sources must not set `connection`"}}},
        {"csv without location and without columns",
         [] {
             Model m = table("orders");
             m.source.format = SourceFormat::Csv;
             m.source.location.reset();
             m.columns.clear();
             return project({{"a.yml", m}});
         },
         {{"a.yml", "source format `Csv` requires `location`"},
          {"a.yml", "csv/txt sources must declare columns (no embedded schema)"}}},
        {"txt with location but without columns",
         [] {
             Model m = table("orders");
             m.source.format = SourceFormat::Txt;
             m.columns.clear();
             return project({{"a.yml", m}});
         },
         {{"a.yml", "csv/txt sources must declare columns (no embedded schema)"}}},
        {"json without columns needs none; an empty location is present",
         [] {
             Model m = table("orders");
             m.source.format = SourceFormat::Json;
             m.source.location = "";
             m.columns.clear();
             return project({{"a.yml", m}});
         },
         {}},
        {"snowflake without connection ignores location",
         [] {
             Model m = database_model(SourceFormat::Snowflake, std::nullopt);
             m.source.location = "s3://bucket/x";
             return project({{"a.yml", m}});
         },
         {{"a.yml", "source format `Snowflake` requires `connection`"}}},
        {"connection not in the manifest",
         [] { return project({{"a.yml", database_model(SourceFormat::Postgres, "Warehouse")}}); },
         {{"a.yml", "connection `Warehouse` is not defined in semantic.yml"}}},
        {"connection lookup is case-sensitive",
         [] {
             return with_connection(database_model(SourceFormat::Postgres, "Warehouse"), "warehouse",
                                    ConnectionKind::Postgres);
         },
         {{"models/a.yml", "connection `Warehouse` is not defined in semantic.yml"}}},
        {"postgres source on a duckdb connection",
         [] {
             return with_connection(database_model(SourceFormat::Postgres, "wh"), "wh", ConnectionKind::Duckdb);
         },
         {{"models/a.yml", "source format `Postgres` does not match connection `wh` of kind `Duckdb`"}}},
        {"sqlserver on a databricks connection",
         [] {
             return with_connection(database_model(SourceFormat::Sqlserver, "lake"), "lake",
                                    ConnectionKind::Databricks);
         },
         {{"models/a.yml", "source format `Sqlserver` does not match connection `lake` of kind `Databricks`"}}},
    });
}

TEST(Validate, EveryDatabaseFormatMatchesOnlyItsOwnKind) {
    const SourceFormat formats[] = {SourceFormat::Postgres,   SourceFormat::Mysql,     SourceFormat::Snowflake,
                                    SourceFormat::Bigquery,   SourceFormat::Databricks, SourceFormat::Sqlserver,
                                    SourceFormat::Duckdb};
    const ConnectionKind kinds[] = {ConnectionKind::Postgres,   ConnectionKind::Mysql,     ConnectionKind::Snowflake,
                                    ConnectionKind::Bigquery,   ConnectionKind::Databricks, ConnectionKind::Sqlserver,
                                    ConnectionKind::Duckdb};
    for (std::size_t f = 0; f < 7; ++f)
        for (std::size_t k = 0; k < 7; ++k) {
            auto issues = validate(with_connection(database_model(formats[f], "c"), "c", kinds[k]));
            if (f == k) {
                EXPECT_TRUE(issues.empty()) << printed(formats[f]);
            } else {
                ASSERT_EQ(issues.size(), 1u);
                EXPECT_EQ(issues[0].message, fmt::format("source format `{}` does not match connection `c` of kind `{}`",
                                                         printed(formats[f]), printed(kinds[k])));
            }
        }
}

TEST(Validate, ColumnsMetricsViewsAndDeprecation) {
    run({
        {"duplicate column with a bad type: duplicate first, then type",
         [] {
             Model m = table("orders");
             m.columns.push_back(column("id", "integer"));
             m.columns.push_back(column("price", "decimal(10,11)"));
             return project({{"a.yml", m}});
         },
         {{"a.yml", "duplicate column `id`"},
          {"a.yml", bad_type("id", "integer")},
          {"a.yml", bad_type("price", "decimal(10,11)")}}},
        {"type failure quotes the type exactly as written",
         [] {
             Model m = table("orders");
             m.columns.push_back(column("note", "  "));
             return project({{"a.yml", m}});
         },
         {{"a.yml", bad_type("note", "  ")}}},
        {"column names are fresh per model",
         [] { return project({{"a.yml", table("a")}, {"b.yml", table("b")}}); },
         {}},
        {"two or more time dimensions give one finding listing them",
         [] {
             Model m = table("orders");
             for (const char* name : {"created_at", "shipped_at", "updated_at"}) {
                 Column c = column(name, "timestamp");
                 c.time_dimension = std::string(name) != "shipped_at";
                 m.columns.push_back(c);
             }
             return project({{"a.yml", m}});
         },
         {{"a.yml",
           "multiple columns marked time_dimension (created_at, updated_at); only one default time axis "
           "allowed"}}},
        {"metric rules in order",
         [] {
             Model m = table("orders");
             m.columns.push_back(column("amount", "float64"));
             m.metrics.push_back(metric("revenue"));
             m.metrics.push_back(metric("revenue", " \n\t\u00A0"));
             m.metrics.back().time_dimension = "Created_At";
             Metric on_plain = metric("count", "COUNT(*)");
             on_plain.time_dimension = "amount";  // any column will do, marked or not
             m.metrics.push_back(on_plain);
             return project({{"a.yml", m}});
         },
         {{"a.yml", "duplicate metric `revenue`"},
          {"a.yml", "metric `revenue` has an empty expr"},
          {"a.yml", "metric `revenue` references time_dimension `Created_At` which is not a column"}}},
        {"metric names are fresh per model; an empty time_dimension is present",
         [] {
             Model a = table("a"), b = table("b");
             a.metrics.push_back(metric("n"));
             b.metrics.push_back(metric("n"));
             b.metrics.back().time_dimension = "";
             return project({{"a.yml", a}, {"b.yml", b}});
         },
         {{"b.yml", "metric `n` references time_dimension `` which is not a column"}}},
        {"view rules",
         [] {
             Model m = table("orders");
             m.views.push_back({"recent", std::nullopt, "SELECT 1"});
             m.views.push_back({"recent", std::nullopt, "\u2003\n"});
             m.views.push_back({"other", std::nullopt, "SELECT 2"});
             return project({{"a.yml", m}});
         },
         {{"a.yml", "duplicate view `recent`"}, {"a.yml", "view `recent` has an empty sql body"}}},
        {"deprecated table without note",
         [] {
             Model m = table("legacy_orders");
             m.table.status = Status::Deprecated;
             Model noted = table("old");
             noted.table.status = Status::Deprecated;
             noted.table.deprecation = Deprecation{"", std::nullopt};
             Model experimental = table("fresh");
             experimental.columns.front().deprecated = Deprecation{"gone", std::nullopt};
             return project({{"a.yml", m}, {"b.yml", noted}, {"c.yml", experimental}});
         },
         {{"a.yml", "table `legacy_orders` is deprecated but has no `deprecation` note telling agents what to use "
                    "instead"}}},
        {"rule order inside one model",
         [] {
             Model m = table("orders");
             m.table.status = Status::Deprecated;
             m.source.location.reset();
             m.columns.push_back(column("id", "int"));
             m.columns.push_back(column("t1", "date"));
             m.columns.push_back(column("t2", "date"));
             m.columns[2].time_dimension = m.columns[3].time_dimension = true;
             m.metrics.push_back(metric("m", ""));
             m.views.push_back({"v", std::nullopt, ""});
             return project({{"x.yml", table("orders")}, {"y.yml", m}});
         },
         {{"y.yml", "duplicate table name `orders`"},
          {"y.yml", "source format `Parquet` requires `location`"},
          {"y.yml", "duplicate column `id`"},
          {"y.yml", bad_type("id", "int")},
          {"y.yml", "multiple columns marked time_dimension (t1, t2); only one default time axis allowed"},
          {"y.yml", "metric `m` has an empty expr"},
          {"y.yml", "view `v` has an empty sql body"},
          {"y.yml", "table `orders` is deprecated but has no `deprecation` note telling agents what to use "
                    "instead"}}},
    });
}

TEST(Validate, Relationships) {
    auto with_rel = [](Relationship r) {
        Model a = table("orders");
        a.columns.push_back(column("customer_id"));
        a.relationships.push_back(std::move(r));
        Model b = table("customers");
        b.columns.push_back(column("customer_id"));
        return project({{"a.yml", a}, {"b.yml", b}});
    };
    auto pair = [](std::string local, std::string remote) {
        Relationship r;
        r.to = "customers";
        r.columns = JoinColumns{std::move(local), std::move(remote)};
        return r;
    };
    run({
        {"valid on", [&] { return with_rel(on_column("customers", "customer_id")); }, {}},
        {"valid columns pair", [&] { return with_rel(pair("customer_id", "id")); }, {}},
        {"missing target only",
         [&] { return with_rel(on_column("Customers", "nothing")); },
         {{"a.yml", "relationship target `Customers` is not a table in this project"}}},
        {"neither on nor columns",
         [&] {
             Relationship r;
             r.to = "customers";
             return with_rel(r);
         },
         {{"a.yml", "relationship to `customers` needs `on` or `columns`"}}},
        {"both on and columns, even with missing columns",
         [&] {
             Relationship r = pair("nope", "nope");
             r.on = "nope";
             return with_rel(r);
         },
         {{"a.yml", "relationship to `customers` sets both `on` and `columns`; pick one"}}},
        {"on column missing on both sides: local, then remote",
         [&] { return with_rel(on_column("customers", "zip")); },
         {{"a.yml", "relationship to `customers` uses local column `zip` which is not defined"},
          {"a.yml", "relationship to `customers` uses remote column `zip` which `customers` does not define"}}},
        {"columns pair with only the remote missing",
         [&] { return with_rel(pair("customer_id", "cust_id")); },
         {{"a.yml",
           "relationship to `customers` uses remote column `cust_id` which `customers` does not define"}}},
        {"self relationship",
         [] {
             Model m = table("employees");
             m.columns.push_back(column("manager_id"));
             Relationship r;
             r.to = "employees";
             r.columns = JoinColumns{"manager_id", "boss"};
             m.relationships.push_back(r);
             return project({{"a.yml", m}});
         },
         {{"a.yml", "relationship to `employees` uses remote column `boss` which `employees` does not define"}}},
        {"with repeated table names the first model in project order is the target",
         [] {
             Model first = table("customers");
             Model second = table("customers");
             second.columns.push_back(column("customer_id"));
             Model orders = table("orders");
             orders.columns.push_back(column("customer_id"));
             orders.relationships.push_back(on_column("customers", "customer_id"));
             return project({{"a.yml", first}, {"b.yml", second}, {"c.yml", orders}});
         },
         {{"b.yml", "duplicate table name `customers`"},
          {"c.yml",
           "relationship to `customers` uses remote column `customer_id` which `customers` does not define"}}},
        {"all first-pass findings precede relationship findings",
         [] {
             Model a = table("a");
             a.relationships.push_back(on_column("missing", "id"));
             Model b = table("b");
             b.columns.push_back(column("id", "text"));
             return project({{"a.yml", a}, {"b.yml", b}});
         },
         {{"b.yml", "duplicate column `id`"},
          {"b.yml", bad_type("id", "text")},
          {"a.yml", "relationship target `missing` is not a table in this project"}}},
    });
}

TEST(Validate, FileIsTheStoredPathWithInvalidBytesReplaced) {
    Model m = table("orders");
    m.metrics.push_back(metric("m", ""));
    auto issues = validate(project({{"models/\xff" "a.yml", m}}));
    ASSERT_EQ(issues.size(), 1u);
    EXPECT_EQ(issues[0].file, "models/\uFFFD" "a.yml");
}
