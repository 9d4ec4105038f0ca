#include "core/context.h"

#include <gtest/gtest.h>

#include <string>

#include "project_fixture.h"

using namespace korvel;
using namespace korvel::testing;

namespace {

const std::string kParagraph =
    "\nThis document describes governed tables and metrics. Prefer the metrics below over hand-written "
    "aggregates; their expressions encode business rules (filters, exclusions) that raw columns do not.\n";
const std::string kHead = "# Semantic layer: shop\n" + kParagraph;

Model bare(std::string name, SourceFormat format = SourceFormat::Parquet) {
    Model m;
    m.version = 1;
    m.table.name = std::move(name);
    m.source.format = format;
    return m;
}

std::string section(const Model& m) {
    std::string out;
    write_model(out, m);
    return out;
}

}  // namespace

TEST(ContextMarkdown, Head) {
    EXPECT_EQ(kParagraph.size(), 196u);
    EXPECT_EQ(context_markdown(project({})), kHead);

    Project described = project({}, " Shop\u00A0");
    described.manifest.project.description = "  Orders and customers.\n\nSecond paragraph. ";
    described.manifest.project.owner = "data-team";
    EXPECT_EQ(context_markdown(described),
              "# Semantic layer:  Shop\u00A0\n\n  Orders and customers.\n\nSecond paragraph. \n" + kParagraph);

    Project two = project({{"a.yml", bare("a")}, {"b.yml", bare("b")}});
    EXPECT_EQ(context_markdown(two), kHead + "\n## Table `a`\n- Source: Parquet\n\n## Table `b`\n- Source: Parquet\n");
}

TEST(ContextMarkdown, TableHeadingSourceAndDeprecation) {
    struct Case {
        const char* name;
        Model model;
        std::string expected;
    };
    Model certified = bare("orders", SourceFormat::Postgres);
    certified.table.status = Status::Certified;
    certified.table.description = " One row per order.\n";
    certified.table.grain = "order line";
    certified.table.owner = "sales";
    certified.table.tags = {"core"};
    certified.source.location = "";
    certified.source.connection = "wh";
    certified.source.schema = "public";
    certified.source.relation = "orders_v2";

    Model deprecated = bare("old_orders", SourceFormat::Sqlserver);
    deprecated.table.status = Status::Deprecated;
    deprecated.table.deprecation = Deprecation{"Stale since 2023.", "orders"};
    Model note_only = bare("older", SourceFormat::Delta);
    note_only.table.status = Status::Deprecated;
    note_only.table.deprecation = Deprecation{"Gone.", std::nullopt};
    note_only.source.location = "s3://b/older";

    const Case cases[] = {
        {"experimental and bare", bare("events", SourceFormat::Json), "\n## Table `events`\n- Source: Json\n"},
        {"certified with everything of the table",
         certified,
         "\n## Table `orders` (Certified)\n\n One row per order.\n\n\n- Grain: one row = order line\n"
         "- Source: Postgres at `` via connection `wh`\n"},
        {"deprecated with replacement",
         deprecated,
         "\n## Table `old_orders` (Deprecated)\n- Source: Sqlserver\n"
         "- DEPRECATED: Stale since 2023. Use `orders` instead.\n"},
        {"deprecated without replacement",
         note_only,
         "\n## Table `older` (Deprecated)\n- Source: Delta at `s3://b/older`\n- DEPRECATED: Gone.\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(section(c.model), c.expected) << c.name;
}

TEST(ContextMarkdown, ColumnsTable) {
    Model m = bare("customers");
    Column plain = column("plain", "INT64 ");
    Column described = column("note", "string|text");
    described.description = "first line\nsecond | line\r\n ";
    described.classification = Classification::Restricted;
    Column everything = column("email", "string");
    everything.primary_key = true;
    everything.time_dimension = true;
    everything.classification = Classification::Pii;
    everything.synonyms = {"a", "b"};
    everything.deprecated = Deprecation{"Use contact.", "contact"};
    Column empty_desc = column("x", "bool");
    empty_desc.description = "";
    empty_desc.synonyms = {"only"};
    m.columns = {plain, described, everything, empty_desc};
    EXPECT_EQ(section(m),
              "\n## Table `customers`\n- Source: Parquet\n"
              "\n### Columns\n\n| column | type | description | notes |\n|---|---|---|---|\n"
              "| `plain` | INT64  |  |  |\n"
              "| `note` | string|text | first line second | line\r   |  |\n"
              "| `email` | string |  | primary key; time dimension; PII; aka: a, b; DEPRECATED: Use contact. |\n"
              "| `x` | bool |  | aka: only |\n");
}

TEST(ContextMarkdown, MetricsJoinsViewsAndNotes) {
    Model m = bare("orders");
    Metric full = metric("revenue", " SUM(amount) ");
    full.description = "\n  Gross revenue.\u3000\n";
    full.filters = {"status = 'paid'", "amount > 0"};
    full.valid_grains = {TimeGrain::Month, TimeGrain::Day};
    full.context = "\tExcludes refunds.\n";
    full.example_queries = {"What was revenue last month?", " How much? "};
    full.time_dimension = "created_at";
    full.deprecated = Deprecation{"Use net_revenue.", "net_revenue"};
    m.metrics = {full, metric("count", "COUNT(*)")};

    m.relationships.push_back(on_column("customers", "customer_id"));
    Relationship pair;
    pair.to = "stores";
    pair.type = Cardinality::OneToOne;
    pair.columns = JoinColumns{"store", "id"};
    m.relationships.push_back(pair);
    Relationship none;
    none.to = "nowhere";
    none.type = Cardinality::ManyToMany;
    m.relationships.push_back(none);
    Relationship both = on_column("x", "k", Cardinality::OneToMany);
    both.columns = JoinColumns{"l", "r"};
    m.relationships.push_back(both);

    m.views.push_back({"recent", " Last 30 days. ", "\n\n  SELECT *\n  FROM orders\n\n"});
    m.views.push_back({"all", std::nullopt, "SELECT 1"});
    m.context = "\n Beware of test orders. \n";

    EXPECT_EQ(section(m),
              "\n## Table `orders`\n- Source: Parquet\n"
              "\n### Metric `revenue`\n"
              "\n- Expression: ` SUM(amount) `\n"
              "- Description: Gross revenue.\n"
              "- Always-applied filters: `status = 'paid'` AND `amount > 0`\n"
              "- Valid time grains: month, day\n"
              "- Notes: Excludes refunds.\n"
              "- Questions this answers:\n"
              "  - What was revenue last month?\n"
              "  -  How much? \n"
              "- DEPRECATED: Use net_revenue.\n"
              "\n### Metric `count`\n"
              "\n- Expression: `COUNT(*)`\n"
              "\n### Joins\n\n"
              "- `orders` -> `customers` (ManyToOne) on `customer_id` = `customer_id`\n"
              "- `orders` -> `stores` (OneToOne) on `store` = `id`\n"
              "- `orders` -> `nowhere` (ManyToMany) on \n"
              "- `orders` -> `x` (OneToMany) on `k` = `k`\n"
              "\n### View `recent`\n"
              "\n Last 30 days. \n"
              "\n```sql\nSELECT *\n  FROM orders\n```\n"
              "\n### View `all`\n"
              "\n```sql\nSELECT 1\n```\n"
              "\n### Table notes\n\nBeware of test orders.\n");
}
