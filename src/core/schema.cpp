#include "core/schema.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/types.h"

namespace korvel {

namespace {

// How a field is declared in the model records; each shape maps to one
// property schema.
enum class Shape {
    Text,       // required text
    OptText,    // optional text, default null
    Flag,       // boolean, default false
    TextList,   // list of text, default []
    RefList,    // list of a record or enumeration, default []
    Ref,        // required record or enumeration
    EnumOr,     // enumeration with a default written form
    OptRef,     // optional record, default null
    UInt32,     // required unsigned 32-bit integer
};

struct Field {
    std::string_view name;
    Shape shape;
    std::string_view ref = {};          // definition name for the Ref shapes
    std::string_view fallback = {};     // EnumOr: the default's written form
    std::string_view description = {};
};

struct Record {
    std::string_view name;
    std::string_view description;  // empty: no record-level description
    std::span<const Field> fields;
};

bool required(Shape s) { return s == Shape::Text || s == Shape::Ref || s == Shape::UInt32; }

constexpr Field kModel[] = {
    {"version", Shape::UInt32, {}, {}, "Model file format version."},
    {"source", Shape::Ref, "Source"},
    {"table", Shape::Ref, "Table"},
    {"columns", Shape::RefList, "Column"},
    {"metrics", Shape::RefList, "Metric"},
    {"relationships", Shape::RefList, "Relationship"},
    {"views", Shape::RefList, "View"},
    {"context", Shape::OptText, {}, {},
     "Free-text business context aimed at AI agents: caveats, history, what this data is and is not "
     "good for."},
};

constexpr Field kTable[] = {
    {"name", Shape::Text},
    {"description", Shape::OptText},
    {"grain", Shape::OptText, {}, {}, "What one row represents, e.g. \"one order line item\"."},
    {"owner", Shape::OptText},
    {"status", Shape::EnumOr, "Status", "experimental"},
    {"deprecation", Shape::OptRef, "Deprecation", {}, "Required when status is `deprecated`."},
    {"tags", Shape::TextList},
};

constexpr Field kColumn[] = {
    {"name", Shape::Text},
    {"type", Shape::Text, {}, {},
     "Arrow-style type name: int8..int64, uint8..uint64, float32, float64, decimal(p,s), string, bool, "
     "date, timestamp, time, binary."},
    {"description", Shape::OptText},
    {"classification", Shape::EnumOr, "Classification", "internal"},
    {"synonyms", Shape::TextList},
    {"primary_key", Shape::Flag},
    {"time_dimension", Shape::Flag, {}, {}, "Marks the column agents should treat as the default time axis."},
    {"deprecated", Shape::OptRef, "Deprecation"},
};

constexpr Field kMetric[] = {
    {"name", Shape::Text},
    {"expr", Shape::Text, {}, {},
     "SQL aggregate expression over this table's columns, e.g. `SUM(amount)` or "
     "`SUM(amount) / COUNT(DISTINCT order_id)` for ratios."},
    {"description", Shape::OptText},
    {"context", Shape::OptText, {}, {}, "Agent-facing context: pitfalls, valid comparisons, what to watch for."},
    {"example_queries", Shape::TextList, {}, {},
     "Natural-language questions this metric answers; few-shot fuel for agents."},
    {"filters", Shape::TextList, {}, {}, "SQL boolean expressions always applied when computing this metric."},
    {"time_dimension", Shape::OptText, {}, {},
     "Column to use as the time axis; defaults to the table's time dimension."},
    {"valid_grains", Shape::RefList, "TimeGrain", {}, "Grains at which this metric is meaningful. Empty = all grains."},
    {"deprecated", Shape::OptRef, "Deprecation"},
};

constexpr Field kSource[] = {
    {"format", Shape::Ref, "SourceFormat"},
    {"location", Shape::OptText, {}, {}, "URI for file-based formats (s3://, gs://, abfss://, file paths)."},
    {"connection", Shape::OptText, {}, {}, "Name of a connection from the manifest, for database formats."},
    {"schema", Shape::OptText, {}, {}, "Database schema (database formats only)."},
    {"relation", Shape::OptText, {}, {}, "Physical relation name if it differs from `table.name`."},
};

constexpr Field kView[] = {
    {"name", Shape::Text},
    {"description", Shape::OptText},
    {"sql", Shape::Text},
};

constexpr Field kRelationship[] = {
    {"to", Shape::Text, {}, {}, "Target table name (must exist in the project)."},
    {"type", Shape::Ref, "Cardinality"},
    {"on", Shape::OptText, {}, {}, "Join column when it has the same name on both sides."},
    {"columns", Shape::OptRef, "JoinColumns", {}, "Explicit column pair when names differ."},
};

constexpr Field kJoinColumns[] = {
    {"local", Shape::Text},
    {"remote", Shape::Text},
};

constexpr Field kDeprecation[] = {
    {"note", Shape::Text},
    {"replaced_by", Shape::OptText},
};

const Record kRoot{"Model", "One model file: a single table with its semantics.", kModel};

const Record kDefinitions[] = {
    {"Column", {}, kColumn},
    {"Deprecation", {}, kDeprecation},
    {"JoinColumns", {}, kJoinColumns},
    {"Metric", {}, kMetric},
    {"Relationship", {}, kRelationship},
    {"Source", "Where and in what physical format the data lives.", kSource},
    {"Table", {}, kTable},
    {"View", "A named, reusable SQL view over the project's tables.", kView},
};

json::Value ref(std::string_view name) {
    return json::Object{{"$ref", "#/definitions/" + std::string(name)}};
}

json::Value string_type() { return json::Object{{"type", "string"}}; }

json::Value property(const Field& f) {
    json::Object p;
    switch (f.shape) {
        case Shape::Text:
            p.emplace("type", "string");
            break;
        case Shape::OptText:
            p.emplace("default", nullptr);
            p.emplace("type", json::Array{"string", "null"});
            break;
        case Shape::Flag:
            p.emplace("default", false);
            p.emplace("type", "boolean");
            break;
        case Shape::TextList:
            p.emplace("default", json::Array{});
            p.emplace("items", string_type());
            p.emplace("type", "array");
            break;
        case Shape::RefList:
            p.emplace("default", json::Array{});
            p.emplace("items", ref(f.ref));
            p.emplace("type", "array");
            break;
        case Shape::Ref:
            // A $ref stands alone; nothing may sit beside it.
            if (!f.description.empty()) return json::Object{{"allOf", json::Array{ref(f.ref)}},
                                                            {"description", f.description}};
            return ref(f.ref);
        case Shape::EnumOr:
            p.emplace("allOf", json::Array{ref(f.ref)});
            p.emplace("default", f.fallback);
            break;
        case Shape::OptRef:
            p.emplace("anyOf", json::Array{ref(f.ref), json::Object{{"type", "null"}}});
            p.emplace("default", nullptr);
            break;
        case Shape::UInt32:
            p.emplace("format", "uint32");
            p.emplace("minimum", 0.0);
            p.emplace("type", "integer");
            break;
    }
    if (!f.description.empty()) p.emplace("description", f.description);
    return p;
}

json::Object record(const Record& r) {
    json::Object props;
    std::vector<std::string> names;
    for (const auto& f : r.fields) {
        props.emplace(std::string(f.name), property(f));
        if (required(f.shape)) names.emplace_back(f.name);
    }
    std::sort(names.begin(), names.end());
    json::Array req(names.begin(), names.end());
    json::Object o{
        {"additionalProperties", false},
        {"properties", std::move(props)},
        {"required", std::move(req)},
        {"type", "object"},
    };
    if (!r.description.empty()) o.emplace("description", r.description);
    return o;
}

template <class E>
json::Value enumeration() {
    json::Array forms;
    for (auto w : EnumNames<E>::written) forms.emplace_back(w);
    return json::Object{{"enum", std::move(forms)}, {"type", "string"}};
}

}  // namespace

json::Value model_json_schema() {
    json::Object defs;
    for (const auto& r : kDefinitions) defs.emplace(std::string(r.name), record(r));
    defs.emplace("Cardinality", enumeration<Cardinality>());
    defs.emplace("Classification", enumeration<Classification>());
    defs.emplace("SourceFormat", enumeration<SourceFormat>());
    defs.emplace("Status", enumeration<Status>());
    defs.emplace("TimeGrain", enumeration<TimeGrain>());

    json::Object root = record(kRoot);
    root.emplace("$schema", "http://json-schema.org/draft-07/schema#");
    root.emplace("definitions", std::move(defs));
    root.emplace("title", kRoot.name);
    return root;
}

}  // namespace korvel
