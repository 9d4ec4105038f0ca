#include <gtest/gtest.h>

#include <string>

#include <fmt/format.h>

#include "core/json.h"
#include "core/yaml.h"

namespace korvel {
namespace {

std::string model_error(std::string_view text) {
    auto r = read_model(text);
    return r.ok() ? std::string("<no error>") : r.error();
}

std::string manifest_error(std::string_view text) {
    auto r = read_manifest(text);
    return r.ok() ? std::string("<no error>") : r.error();
}

constexpr std::string_view kMinimal =
    "version: 1\n"
    "source:\n"
    "  format: parquet\n"
    "table:\n"
    "  name: orders\n";

TEST(ReadModel, MinimalFileTakesEveryDefault) {
    auto m = read_model(kMinimal);
    ASSERT_TRUE(m.ok()) << m.error();
    EXPECT_EQ(m->version, 1u);
    EXPECT_EQ(m->source.format, SourceFormat::Parquet);
    EXPECT_FALSE(m->source.location.has_value());
    EXPECT_EQ(m->table.name, "orders");
    EXPECT_EQ(m->table.status, Status::Experimental);
    EXPECT_TRUE(m->columns.empty() && m->metrics.empty() && m->relationships.empty() && m->views.empty());
    EXPECT_EQ(json::write(to_json(*m)),
              R"({"columns":[],"context":null,"metrics":[],"relationships":[],)"
              R"("source":{"connection":null,"format":"parquet","location":null,"relation":null,"schema":null},)"
              R"("table":{"deprecation":null,"description":null,"grain":null,"name":"orders","owner":null,)"
              R"("status":"experimental","tags":[]},"version":1,"views":[]})");
}

TEST(ReadModel, FullFileReadsEveryField) {
    auto m = read_model(R"(version: 3
context: |
  Orders placed online.
  Refunds excluded.
source: {format: postgres, connection: warehouse, schema: sales, relation: fct_orders}
table:
  name: orders
  description: One row per order
  grain: order
  owner: data-team
  status: deprecated
  deprecation: {note: use orders_v2, replaced_by: orders_v2}
  tags: [core, "finance"]
columns:
  - name: order_id
    type: int64
    primary_key: true
    classification: public
  - name: email
    type: string
    classification: pii
    synonyms: [mail, e-mail]
    deprecated: {note: moved}
  - name: created_at
    type: timestamp
    time_dimension: True
metrics:
  - name: revenue
    expr: SUM(amount)
    filters: ["status = 'paid'"]
    valid_grains: [day, month]
    time_dimension: created_at
    example_queries: [What was revenue last week?]
relationships:
  - to: customers
    type: many_to_one
    on: customer_id
  - to: stores
    type: one_to_one
    columns: {local: store, remote: id}
views:
  - name: recent
    sql: SELECT 1
)");
    ASSERT_TRUE(m.ok()) << m.error();
    EXPECT_EQ(m->version, 3u);
    EXPECT_EQ(m->context, "Orders placed online.\nRefunds excluded.\n");
    EXPECT_EQ(m->source.format, SourceFormat::Postgres);
    EXPECT_EQ(m->source.relation, "fct_orders");
    EXPECT_EQ(m->table.status, Status::Deprecated);
    ASSERT_TRUE(m->table.deprecation.has_value());
    EXPECT_EQ(m->table.deprecation->replaced_by, "orders_v2");
    EXPECT_EQ(m->table.tags, (std::vector<std::string>{"core", "finance"}));
    ASSERT_EQ(m->columns.size(), 3u);
    EXPECT_TRUE(m->columns[0].primary_key);
    EXPECT_EQ(m->columns[0].classification, Classification::Public);
    EXPECT_EQ(m->columns[1].classification, Classification::Pii);
    EXPECT_EQ(m->columns[1].synonyms, (std::vector<std::string>{"mail", "e-mail"}));
    ASSERT_TRUE(m->columns[1].deprecated.has_value());
    EXPECT_EQ(m->columns[1].deprecated->note, "moved");
    EXPECT_FALSE(m->columns[1].deprecated->replaced_by.has_value());
    EXPECT_TRUE(m->columns[2].time_dimension);
    ASSERT_EQ(m->metrics.size(), 1u);
    EXPECT_EQ(m->metrics[0].filters, (std::vector<std::string>{"status = 'paid'"}));
    EXPECT_EQ(m->metrics[0].valid_grains, (std::vector<TimeGrain>{TimeGrain::Day, TimeGrain::Month}));
    EXPECT_EQ(m->metrics[0].time_dimension, "created_at");
    EXPECT_EQ(m->metrics[0].example_queries, (std::vector<std::string>{"What was revenue last week?"}));
    ASSERT_EQ(m->relationships.size(), 2u);
    EXPECT_EQ(m->relationships[0].type, Cardinality::ManyToOne);
    EXPECT_EQ(m->relationships[0].on, "customer_id");
    EXPECT_EQ(m->relationships[1].columns->local, "store");
    EXPECT_EQ(m->relationships[1].columns->remote, "id");
    ASSERT_EQ(m->views.size(), 1u);
    EXPECT_EQ(m->views[0].sql, "SELECT 1");
}

// Texts, optional texts and keys keep what was written; only plain null words
// make an optional absent, only the six boolean words are booleans.
TEST(ReadModel, ScalarWordsAndOptionalValues) {
    struct Case {
        std::string description_line;  // under `table:`
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"  description: \"\"", ""},
        {"  description: ''", ""},
        {"  description: null", std::nullopt},
        {"  description: Null", std::nullopt},
        {"  description: NULL", std::nullopt},
        {"  description: ~", std::nullopt},
        {"  description:", std::nullopt},
        {"  description: 'null'", "null"},
        {"  description: \"~\"", "~"},
        {"  description: nil", "nil"},
        {"  description: 123", "123"},
        {"  description: true", "true"},
        {"  description: yes", "yes"},
        {"  description: 1.50", "1.50"},
        {"  description: !!str null", "null"},
        {"  description: >\n    folded\n    text", "folded text\n"},
    };
    for (const auto& c : cases) {
        std::string text = "version: 1\nsource: {format: csv}\ntable:\n  name: t\n" + c.description_line + "\n";
        auto m = read_model(text);
        ASSERT_TRUE(m.ok()) << c.description_line << ": " << m.error();
        EXPECT_EQ(m->table.description, c.expected) << c.description_line;
    }

    // A plain `on`, `yes`, `off` is text, as key and as value; empty plain text is empty.
    auto m = read_model(
        "version: 1\nsource: {format: csv}\ntable:\n  name:\nrelationships:\n"
        "  - {to: off, type: one_to_many, on: yes}\n");
    ASSERT_TRUE(m.ok()) << m.error();
    EXPECT_EQ(m->table.name, "");
    EXPECT_EQ(m->relationships[0].to, "off");
    EXPECT_EQ(m->relationships[0].on, "yes");
}

TEST(ReadModel, BooleansAndVersionBounds) {
    for (const char* word : {"true", "True", "TRUE"}) {
        auto m = read_model(std::string(kMinimal) + "columns:\n  - {name: a, type: int, primary_key: " + word + "}\n");
        ASSERT_TRUE(m.ok()) << word;
        EXPECT_TRUE(m->columns[0].primary_key) << word;
    }
    for (const char* word : {"false", "False", "FALSE"}) {
        auto m = read_model(std::string(kMinimal) + "columns:\n  - {name: a, type: int, time_dimension: " + word + "}\n");
        ASSERT_TRUE(m.ok()) << word;
        EXPECT_FALSE(m->columns[0].time_dimension) << word;
    }
    for (auto [written, value] : {std::pair{"0", 0u}, {"4294967295", 4294967295u}, {"+7", 7u}, {"0x10", 16u}}) {
        auto m = read_model(std::string("version: ") + written + "\nsource: {format: csv}\ntable: {name: t}\n");
        ASSERT_TRUE(m.ok()) << written << ": " << m.error();
        EXPECT_EQ(m->version, value) << written;
    }
}

TEST(ReadModel, ListsAndRecordsWithoutValue) {
    auto m = read_model(std::string(kMinimal) + "columns:\nmetrics:\nviews:\nrelationships:\n");
    ASSERT_TRUE(m.ok()) << m.error();
    EXPECT_TRUE(m->columns.empty() && m->metrics.empty() && m->views.empty() && m->relationships.empty());

    // An optional record with no value is absent; a required one is an empty mapping.
    auto d = read_model(std::string(kMinimal) + "  deprecation:\n");
    ASSERT_TRUE(d.ok()) << d.error();
    EXPECT_FALSE(d->table.deprecation.has_value());
}

// Every failure message: the text, its location prefix and its position.
TEST(ReadModel, FailureMessages) {
    struct Case {
        const char* name;
        std::string text;
        std::string message;
    };
    const std::string head = "version: 1\nsource: {format: csv}\ntable: {name: t}\n";
    const Case cases[] = {
        {"unknown top-level key, at the key",
         "version: 1\nsource: {format: csv}\ntable: {name: t}\nowner: me\n",
         "unknown field `owner`, expected one of `version`, `source`, `table`, `columns`, `metrics`, "
         "`relationships`, `views`, `context` at line 4 column 1"},
        {"keys are case-sensitive", "version: 1\nsource: {format: csv}\ntable:\n  Name: t\n",
         "table: unknown field `Name`, expected one of `name`, `description`, `grain`, `owner`, `status`, "
         "`deprecation`, `tags` at line 4 column 3"},
        {"two candidates use the or form",
         head + "columns:\n  - name: a\n    type: int\n    deprecated:\n      note: x\n      replaced: y\n",
         "columns[0].deprecated: unknown field `replaced`, expected `note` or `replaced_by` at line 9 column 7"},
        {"missing field, at the mapping start",
         head + "columns:\n  - {name: a, type: int}\n  - {name: b, type: int}\n  - name: c\n    description: x\n",
         "columns[2]: missing field `type` at line 7 column 5"},
        {"required record with no value", "version: 1\nsource:\ntable: {name: t}\n",
         "source: missing field `format` at line 2 column 8"},
        {"optional record missing its note",
         head + "columns:\n  - name: a\n    type: int\n    deprecated:\n      replaced_by: b\n",
         "columns[0].deprecated: missing field `note` at line 8 column 7"},
        {"join columns missing remote",
         head + "relationships:\n  - to: x\n    type: one_to_one\n    columns: {local: a}\n",
         "relationships[0].columns: missing field `remote` at line 7 column 14"},
        {"duplicate field even with equal values, at the mapping start",
         "version: 1\nsource: {format: csv}\ntable:\n  name: t\n  name: t\n",
         "table: duplicate field `name` at line 4 column 3"},
        {"unknown key wins over a missing field", "version: 1\nsource: {format: csv}\ntable:\n  nme: t\n",
         "table: unknown field `nme`, expected one of `name`, `description`, `grain`, `owner`, `status`, "
         "`deprecation`, `tags` at line 4 column 3"},
        {"enumerations never match in another case",
         "version: 1\nsource: {format: csv}\ntable:\n  name: t\n  status: Certified\n",
         "table.status: unknown variant `Certified`, expected one of `certified`, `experimental`, `deprecated` "
         "at line 5 column 11"},
        {"variant inside a nested list",
         head + "metrics:\n  - name: m\n    expr: COUNT(*)\n    valid_grains: [day, decade]\n",
         "metrics[0].valid_grains[1]: unknown variant `decade`, expected one of `hour`, `day`, `week`, `month`, "
         "`quarter`, `year` at line 7 column 25"},
        {"quoted variant is still matched by text", "version: 1\nsource: {format: \"CSV\"}\ntable: {name: t}\n",
         "source.format: unknown variant `CSV`, expected one of `delta`, `iceberg`, `parquet`, `csv`, `txt`, "
         "`json`, `postgres`, `mysql`, `snowflake`, `bigquery`, `databricks`, `sqlserver`, `duckdb` at line 2 "
         "column 18"},
        {"enumeration given a sequence", head + "relationships:\n  - {to: x, type: [one_to_one]}\n",
         "relationships[0].type: invalid type: sequence, expected enum Cardinality at line 5 column 19"},
        {"version above 32 bits", "version: 4294967296\n",
         "version: invalid value: integer `4294967296`, expected u32 at line 1 column 10"},
        {"version far above 64 bits", "version: 123456789012345678901234567890\n",
         "version: invalid value: integer `123456789012345678901234567890`, expected u32 at line 1 column 10"},
        {"negative version", "version: -1\n", "version: invalid type: integer `-1`, expected u32 at line 1 column 10"},
        {"quoted version", "version: \"1\"\n", "version: invalid type: string \"1\", expected u32 at line 1 column 10"},
        {"fractional version", "version: 1.5\n",
         "version: invalid type: floating point `1.5`, expected u32 at line 1 column 10"},
        {"whole float version", "version: 2.0\n",
         "version: invalid type: floating point `2.0`, expected u32 at line 1 column 10"},
        {"null version", "version: ~\n", "version: invalid type: null, expected u32 at line 1 column 10"},
        {"version without value", "version:\nsource: {format: csv}\n",
         "version: invalid type: null, expected u32 at line 1 column 9"},
        {"boolean version", "version: true\n",
         "version: invalid type: boolean `true`, expected u32 at line 1 column 10"},
        {"text version", "version: one\n", "version: invalid type: string \"one\", expected u32 at line 1 column 10"},
        {"yes is no boolean", head + "columns:\n  - {name: a, type: int, primary_key: yes}\n",
         "columns[0].primary_key: invalid type: string \"yes\", expected a boolean at line 5 column 39"},
        {"quoted true is no boolean", head + "columns:\n  - {name: a, type: int, primary_key: \"true\"}\n",
         "columns[0].primary_key: invalid type: string \"true\", expected a boolean at line 5 column 39"},
        {"null list", head + "columns: ~\n", "columns: invalid type: null, expected a sequence at line 4 column 10"},
        {"single item for a list", head + "columns: {name: a, type: int}\n",
         "columns: invalid type: map, expected a sequence at line 4 column 10"},
        {"text for a list", "version: 1\nsource: {format: csv}\ntable: {name: t, tags: core}\n",
         "table.tags: invalid type: string \"core\", expected a sequence at line 3 column 24"},
        {"list inside a text list", "version: 1\nsource: {format: csv}\ntable: {name: t, tags: [a, [b]]}\n",
         "table.tags[1]: invalid type: sequence, expected a string at line 3 column 28"},
        {"record given a text", "version: 1\nsource: parquet\n",
         "source: invalid type: string \"parquet\", expected struct Source at line 2 column 9"},
        {"required record given null", "version: 1\nsource: null\n",
         "source: invalid type: null, expected struct Source at line 2 column 9"},
        {"text given a mapping", "version: 1\nsource: {format: csv}\ntable: {name: {first: a}}\n",
         "table.name: invalid type: map, expected a string at line 3 column 15"},
        {"escapes in the found text", "version: \"a\\\"b\\\\c\\nd\"\n",
         "version: invalid type: string \"a\\\"b\\\\c\\nd\", expected u32 at line 1 column 10"},
        {"top level sequence", "- a\n- b\n", "invalid type: sequence, expected struct Model"},
        {"top level text", "hello\n", "invalid type: string \"hello\", expected struct Model"},
        {"empty file", "", "missing field `version`"},
        {"only comments", "# nothing here\n\n# at all\n", "missing field `version`"},
        {"second document",
         std::string(kMinimal) + "---\n" + std::string(kMinimal),
         "deserializing from YAML containing more than one document is not supported"},
        {"complex key", "? [a]\n: 1\n", "invalid type: sequence, expected field identifier at line 1 column 3"},
        {"merge keys are not supported", "base: &b {format: csv}\n",
         "unknown field `base`, expected one of `version`, `source`, `table`, `columns`, `metrics`, "
         "`relationships`, `views`, `context`"},
        {"undefined alias", "version: *nope\n", "unknown anchor `nope` at line 1 column 10"},
        {"alias inside its own anchor", "version: 1\nsource: {format: csv}\ntable: &t {name: x, deprecation: *t}\n",
         "unknown anchor `t` at line 3 column 34"},
    };
    for (const auto& c : cases) EXPECT_EQ(model_error(c.text), c.message) << c.name;
}

TEST(ReadModel, MalformedYamlGivesReaderMessageWithPosition) {
    const std::pair<const char*, const char*> cases[] = {
        {"version: 1\ntable: {name: \"open\n",
         "found unexpected end of stream at line 3 column 1, while scanning a quoted scalar at line 2 column 15"},
        {"version: 1\n  source: x\n", "mapping values are not allowed in this context at line 2 column 9"},
        {"table:\n\tname: t\n",
         "found character that cannot start any token at line 2 column 1, while scanning for the next token "
         "at line 2 column 1"},
        {"version: 1\nversion: [\n",
         "did not find expected node content at line 3 column 1, while parsing a flow node at line 3 column 1"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(model_error(text), message) << text;
}

TEST(ReadModel, AliasesStandForTheirAnchors) {
    auto m = read_model(R"(version: 1
source: {format: csv}
table: {name: t, tags: &tags [a, b]}
columns:
  - &id {name: id, type: int, synonyms: *tags}
  - *id
)");
    ASSERT_TRUE(m.ok()) << m.error();
    ASSERT_EQ(m->columns.size(), 2u);
    EXPECT_EQ(m->columns[1].name, "id");
    EXPECT_EQ(m->columns[1].synonyms, (std::vector<std::string>{"a", "b"}));

    // A failure inside aliased content is placed where the alias is used.
    EXPECT_EQ(model_error("version: 1\nsource: &s {format: csv}\ntable: *s\n"),
              "table: unknown field `format`, expected one of `name`, `description`, `grain`, `owner`, `status`, "
              "`deprecation`, `tags` at line 2 column 13");
    EXPECT_EQ(model_error("version: &v [1]\nsource: {format: csv}\ntable: {name: t}\ncontext: *v\n"),
              "version: invalid type: sequence, expected u32 at line 1 column 10");
    EXPECT_EQ(model_error("version: 1\nsource: {format: csv}\ntable: &t {name: t}\ncontext: *t\n"),
              "context: invalid type: map, expected a string at line 4 column 10");
}

TEST(ReadModel, HostileInputEndsWithAClearError) {
    // 1000 columns sharing a list of 100000 synonyms: 10^8 texts if expanded.
    std::string text = "version: 1\nsource: {format: csv}\ntable:\n  name: t\n  tags: &l0 [";
    for (int i = 0; i < 100000; ++i) text += i ? ",x" : "x";
    text += "]\ncolumns:\n  - &c {name: a, type: int, synonyms: *l0}\n";
    for (int i = 0; i < 1000; ++i) text += "  - *c\n";
    std::string err = model_error(text);
    EXPECT_NE(err.find("aliases expand to more than 16777216 bytes of content"), std::string::npos) << err;
    EXPECT_EQ(err.rfind("columns[", 0), 0u) << err;

    // Exponential anchors are composed without expanding them.
    std::string laughs = "version: 1\nsource: {format: csv}\ntable: {name: t}\n";
    laughs += "x0: &x0 [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
    for (int i = 1; i < 10; ++i)
        laughs += fmt::format("x{0}: &x{0} [*x{1}, *x{1}, *x{1}, *x{1}, *x{1}, *x{1}, *x{1}, *x{1}, *x{1}]\n", i, i - 1);
    EXPECT_NE(model_error(laughs).find("unknown field `x0`"), std::string::npos);

    std::string deep_flow(10000, '[');
    EXPECT_EQ(model_error(deep_flow), "nesting deeper than 256 levels is not supported at line 1 column 257");
    std::string deep_block;
    for (int i = 0; i < 1000; ++i) deep_block += std::string(static_cast<std::size_t>(i), ' ') + "a:\n";
    EXPECT_NE(model_error(deep_block).find("nesting deeper than 256 levels"), std::string::npos);

    EXPECT_EQ(model_error("version: 1\ncontext: \xff\xfe\n"), "invalid leading UTF-8 octet #FF at line 2 column 10");
    EXPECT_EQ(model_error(std::string("version: 1\0\n", 12)), "control characters are not allowed #00 at line 1 column 11");
}

TEST(ReadManifest, FieldsConnectionsAndDefaults) {
    auto m = read_manifest(R"(korvel: 1
project:
  name: shop
  owner: data
models: ["models/*.yml", "extra/**/*.yml"]
connections:
  wh: {kind: snowflake, dsn_env: WH_DSN}
  analytics: {kind: postgres, host: db, port: 5432, database: a}
  wh: {kind: duckdb}
)");
    ASSERT_TRUE(m.ok()) << m.error();
    EXPECT_EQ(m->korvel, 1u);
    EXPECT_EQ(m->project.name, "shop");
    EXPECT_EQ(m->project.owner, "data");
    EXPECT_FALSE(m->project.description.has_value());
    EXPECT_EQ(m->models, (std::vector<std::string>{"models/*.yml", "extra/**/*.yml"}));
    ASSERT_EQ(m->connections.size(), 2u);
    EXPECT_EQ(m->connections.begin()->first, "analytics");
    EXPECT_EQ(m->connections.at("analytics").port, std::uint16_t{5432});
    // A name given twice keeps its later definition, whole.
    EXPECT_EQ(m->connections.at("wh").kind, ConnectionKind::Duckdb);
    EXPECT_FALSE(m->connections.at("wh").dsn_env.has_value());
    EXPECT_EQ(json::write(to_json(m->connections.at("analytics"))),
              R"({"database":"a","dsn_env":null,"host":"db","kind":"postgres","port":5432})");

    auto empty = read_manifest("korvel: 2\nproject: {name: p}\nmodels:\nconnections:\n");
    ASSERT_TRUE(empty.ok()) << empty.error();
    EXPECT_EQ(empty->korvel, 2u);
    EXPECT_TRUE(empty->models.empty());
    EXPECT_TRUE(empty->connections.empty());
}

TEST(ReadManifest, FailureMessages) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "missing field `korvel`"},
        {"# just a comment\n", "missing field `korvel`"},
        {"korvel: 1\nproject: {name: p}\n", "missing field `models`"},
        {"project: {name: p}\nmodels: []\n", "missing field `korvel`"},
        {"korvel: 1\nproject:\nmodels: []\n", "project: missing field `name` at line 2 column 9"},
        {"korvel: 1\nProject: {name: p}\n",
         "unknown field `Project`, expected one of `korvel`, `project`, `models`, `connections` at line 2 column 1"},
        {"korvel: 1\nproject:\n  name: p\n  owners: x\n",
         "project: unknown field `owners`, expected one of `name`, `description`, `owner` at line 4 column 3"},
        {"korvel: 1\nproject: {name: p}\nmodels: ~\n",
         "models: invalid type: null, expected a sequence at line 3 column 9"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections: null\n",
         "connections: invalid type: null, expected a map at line 4 column 14"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections: [a]\n",
         "connections: invalid type: sequence, expected a map at line 4 column 14"},
        {"korvel: 1\nproject: [p]\n", "project: invalid type: sequence, expected struct ProjectInfo at line 2 column 10"},
        {"[1]\n", "invalid type: sequence, expected struct Manifest"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {host: h}\n",
         "connections.wh: missing field `kind` at line 5 column 7"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh:\n",
         "connections.wh: missing field `kind` at line 5 column 6"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {kind: oracle}\n",
         "connections.wh.kind: unknown variant `oracle`, expected one of `postgres`, `mysql`, `snowflake`, "
         "`bigquery`, `databricks`, `sqlserver`, `duckdb` at line 5 column 14"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {kind: mysql, port: 65536}\n",
         "connections.wh.port: invalid value: integer `65536`, expected u16 at line 5 column 27"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {kind: mysql, port: \"5432\"}\n",
         "connections.wh.port: invalid type: string \"5432\", expected u16 at line 5 column 27"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {kind: mysql, prot: 1}\n",
         "connections.wh: unknown field `prot`, expected one of `kind`, `dsn_env`, `host`, `port`, `database` "
         "at line 5 column 21"},
        {"korvel: 99999999999\n", "korvel: invalid value: integer `99999999999`, expected u32 at line 1 column 9"},
        {"korvel: 1\nproject: {name: p}\nmodels: [a, {b: c}]\n",
         "models[1]: invalid type: map, expected a string at line 3 column 13"},
        {"korvel: 1\nproject: {name: p}\nmodels: []\n---\nkorvel: 1\n",
         "deserializing from YAML containing more than one document is not supported"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(manifest_error(text), message) << text;

    auto port = read_manifest("korvel: 1\nproject: {name: p}\nmodels: []\nconnections:\n  wh: {kind: mysql, port: ~}\n");
    ASSERT_TRUE(port.ok()) << port.error();
    EXPECT_FALSE(port->connections.at("wh").port.has_value());
}

}  // namespace
}  // namespace korvel
