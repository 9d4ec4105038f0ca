#include "core/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using korvel::model_json_schema;
using korvel::json::Value;

namespace {

// The whole document, written out by hand in member order.
constexpr const char* kExpected = R"JSON({
 "$schema": "http://json-schema.org/draft-07/schema#",
 "additionalProperties": false,
 "definitions": {
  "Cardinality": {"enum": ["one_to_one", "one_to_many", "many_to_one", "many_to_many"], "type": "string"},
  "Classification": {"enum": ["public", "internal", "restricted", "pii"], "type": "string"},
  "Column": {
   "additionalProperties": false,
   "properties": {
    "classification": {"allOf": [{"$ref": "#/definitions/Classification"}], "default": "internal"},
    "deprecated": {"anyOf": [{"$ref": "#/definitions/Deprecation"}, {"type": "null"}], "default": null},
    "description": {"default": null, "type": ["string", "null"]},
    "name": {"type": "string"},
    "primary_key": {"default": false, "type": "boolean"},
    "synonyms": {"default": [], "items": {"type": "string"}, "type": "array"},
    "time_dimension": {"default": false, "description": "Marks the column agents should treat as the default time axis.", "type": "boolean"},
    "type": {"description": "Arrow-style type name: int8..int64, uint8..uint64, float32, float64, decimal(p,s), string, bool, date, timestamp, time, binary.", "type": "string"}
   },
   "required": ["name", "type"],
   "type": "object"
  },
  "Deprecation": {
   "additionalProperties": false,
   "properties": {
    "note": {"type": "string"},
    "replaced_by": {"default": null, "type": ["string", "null"]}
   },
   "required": ["note"],
   "type": "object"
  },
  "JoinColumns": {
   "additionalProperties": false,
   "properties": {"local": {"type": "string"}, "remote": {"type": "string"}},
   "required": ["local", "remote"],
   "type": "object"
  },
  "Metric": {
   "additionalProperties": false,
   "properties": {
    "context": {"default": null, "description": "Agent-facing context: pitfalls, valid comparisons, what to watch for.", "type": ["string", "null"]},
    "deprecated": {"anyOf": [{"$ref": "#/definitions/Deprecation"}, {"type": "null"}], "default": null},
    "description": {"default": null, "type": ["string", "null"]},
    "example_queries": {"default": [], "description": "Natural-language questions this metric answers; few-shot fuel for agents.", "items": {"type": "string"}, "type": "array"},
    "expr": {"description": "SQL aggregate expression over this table's columns, e.g. `SUM(amount)` or `SUM(amount) / COUNT(DISTINCT order_id)` for ratios.", "type": "string"},
    "filters": {"default": [], "description": "SQL boolean expressions always applied when computing this metric.", "items": {"type": "string"}, "type": "array"},
    "name": {"type": "string"},
    "time_dimension": {"default": null, "description": "Column to use as the time axis; defaults to the table's time dimension.", "type": ["string", "null"]},
    "valid_grains": {"default": [], "description": "Grains at which this metric is meaningful. Empty = all grains.", "items": {"$ref": "#/definitions/TimeGrain"}, "type": "array"}
   },
   "required": ["expr", "name"],
   "type": "object"
  },
  "Relationship": {
   "additionalProperties": false,
   "properties": {
    "columns": {"anyOf": [{"$ref": "#/definitions/JoinColumns"}, {"type": "null"}], "default": null, "description": "Explicit column pair when names differ."},
    "on": {"default": null, "description": "Join column when it has the same name on both sides.", "type": ["string", "null"]},
    "to": {"description": "Target table name (must exist in the project).", "type": "string"},
    "type": {"$ref": "#/definitions/Cardinality"}
   },
   "required": ["to", "type"],
   "type": "object"
  },
  "Source": {
   "additionalProperties": false,
   "description": "Where and in what physical format the data lives.",
   "properties": {
    "connection": {"default": null, "description": "Name of a connection from the manifest, for database formats.", "type": ["string", "null"]},
    "format": {"$ref": "#/definitions/SourceFormat"},
    "location": {"default": null, "description": "URI for file-based formats (s3://, gs://, abfss://, file paths).", "type": ["string", "null"]},
    "relation": {"default": null, "description": "Physical relation name if it differs from `table.name`.", "type": ["string", "null"]},
    "schema": {"default": null, "description": "Database schema (database formats only).", "type": ["string", "null"]}
   },
   "required": ["format"],
   "type": "object"
  },
  "SourceFormat": {"enum": ["delta", "iceberg", "parquet", "csv", "txt", "json", "postgres", "mysql", "snowflake", "bigquery", "databricks", "sqlserver", "duckdb"], "type": "string"},
  "Status": {"enum": ["certified", "experimental", "deprecated"], "type": "string"},
  "Table": {
   "additionalProperties": false,
   "properties": {
    "deprecation": {"anyOf": [{"$ref": "#/definitions/Deprecation"}, {"type": "null"}], "default": null, "description": "Required when status is `deprecated`."},
    "description": {"default": null, "type": ["string", "null"]},
    "grain": {"default": null, "description": "What one row represents, e.g. \"one order line item\".", "type": ["string", "null"]},
    "name": {"type": "string"},
    "owner": {"default": null, "type": ["string", "null"]},
    "status": {"allOf": [{"$ref": "#/definitions/Status"}], "default": "experimental"},
    "tags": {"default": [], "items": {"type": "string"}, "type": "array"}
   },
   "required": ["name"],
   "type": "object"
  },
  "TimeGrain": {"enum": ["hour", "day", "week", "month", "quarter", "year"], "type": "string"},
  "View": {
   "additionalProperties": false,
   "description": "A named, reusable SQL view over the project's tables.",
   "properties": {
    "description": {"default": null, "type": ["string", "null"]},
    "name": {"type": "string"},
    "sql": {"type": "string"}
   },
   "required": ["name", "sql"],
   "type": "object"
  }
 },
 "description": "One model file: a single table with its semantics.",
 "properties": {
  "columns": {"default": [], "items": {"$ref": "#/definitions/Column"}, "type": "array"},
  "context": {"default": null, "description": "Free-text business context aimed at AI agents: caveats, history, what this data is and is not good for.", "type": ["string", "null"]},
  "metrics": {"default": [], "items": {"$ref": "#/definitions/Metric"}, "type": "array"},
  "relationships": {"default": [], "items": {"$ref": "#/definitions/Relationship"}, "type": "array"},
  "source": {"$ref": "#/definitions/Source"},
  "table": {"$ref": "#/definitions/Table"},
  "version": {"description": "Model file format version.", "format": "uint32", "minimum": 0.0, "type": "integer"},
  "views": {"default": [], "items": {"$ref": "#/definitions/View"}, "type": "array"}
 },
 "required": ["source", "table", "version"],
 "title": "Model",
 "type": "object"
})JSON";

// Every object in the tree, with the path leading to it.
void each_object(const Value& v, const std::string& at,
                 const std::function<void(const std::string&, const korvel::json::Object&)>& visit) {
    if (v.is_object()) {
        visit(at, v.as_object());
        for (const auto& [k, child] : v.as_object()) each_object(child, at + "/" + k, visit);
    } else if (v.is_array()) {
        for (std::size_t i = 0; i < v.as_array().size(); ++i)
            each_object(v.as_array()[i], at + "/" + std::to_string(i), visit);
    }
}

}  // namespace

TEST(ModelSchema, EqualsTheDocumentMemberForMember) {
    auto expected = korvel::json::read(kExpected);
    ASSERT_TRUE(expected.ok()) << expected.error().text();
    const Value schema = model_json_schema();
    // Compares number kinds too, so an integer minimum would not pass.
    EXPECT_EQ(schema, *expected);
    EXPECT_EQ(korvel::json::write(schema), korvel::json::write(*expected));
}

TEST(ModelSchema, RepeatedCallsAgree) {
    EXPECT_EQ(korvel::json::write(model_json_schema()), korvel::json::write(model_json_schema()));
}

TEST(ModelSchema, ShapeRules) {
    const Value schema = model_json_schema();
    const Value* version = schema.find("properties")->find("version");
    ASSERT_NE(version, nullptr);
    ASSERT_TRUE(version->find("minimum")->is_float());
    EXPECT_EQ(version->find("minimum")->as_float(), 0.0);
    EXPECT_EQ(version->find("maximum"), nullptr);

    const auto& defs = schema.find("definitions")->as_object();
    EXPECT_EQ(defs.size(), 13u);
    for (const auto& [name, def] : defs) {
        SCOPED_TRACE(name);
        EXPECT_EQ(def.find("title"), nullptr);
        EXPECT_EQ(def.find("$schema"), nullptr);
        const bool described = name == "Source" || name == "View";
        EXPECT_EQ(def.find("description") != nullptr, described);
        // Records list their required fields in byte order; enumerations have none.
        if (const Value* req = def.find("required")) {
            std::vector<std::string> names;
            for (const auto& r : req->as_array()) names.push_back(r.as_string());
            EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
            EXPECT_FALSE(names.empty());
        } else {
            EXPECT_NE(def.find("enum"), nullptr);
            EXPECT_EQ(def.as_object().size(), 2u);
        }
    }

    // A reference is always the only member of its object, and it resolves.
    std::size_t refs = 0;
    each_object(schema, "", [&](const std::string& at, const korvel::json::Object& o) {
        auto it = o.find("$ref");
        if (it == o.end()) return;
        ++refs;
        EXPECT_EQ(o.size(), 1u) << at;
        const std::string& target = it->second.as_string();
        ASSERT_EQ(target.rfind("#/definitions/", 0), 0u) << at;
        EXPECT_TRUE(defs.contains(target.substr(14))) << at << " -> " << target;
    });
    EXPECT_GT(refs, 0u);
}
