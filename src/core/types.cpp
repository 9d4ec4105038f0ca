#include "core/types.h"

namespace korvel {

namespace {

json::Value opt(const OptText& t) { return t ? json::Value(*t) : json::Value(); }

template <class T>
json::Value opt(const std::optional<T>& r) {
    return r ? to_json(*r) : json::Value();
}

json::Value texts(const std::vector<std::string>& items) {
    json::Array a;
    a.reserve(items.size());
    for (const auto& s : items) a.emplace_back(s);
    return a;
}

template <class T>
json::Value records(const std::vector<T>& items) {
    json::Array a;
    a.reserve(items.size());
    for (const auto& r : items) a.push_back(to_json(r));
    return a;
}

}  // namespace

json::Value to_json(const Deprecation& d) {
    return json::Object{{"note", d.note}, {"replaced_by", opt(d.replaced_by)}};
}

json::Value to_json(const Table& t) {
    return json::Object{
        {"name", t.name},         {"description", opt(t.description)},
        {"grain", opt(t.grain)},  {"owner", opt(t.owner)},
        {"status", written(t.status)}, {"deprecation", opt(t.deprecation)},
        {"tags", texts(t.tags)},
    };
}

json::Value to_json(const Column& c) {
    return json::Object{
        {"name", c.name},
        {"type", c.type},
        {"description", opt(c.description)},
        {"classification", written(c.classification)},
        {"synonyms", texts(c.synonyms)},
        {"primary_key", c.primary_key},
        {"time_dimension", c.time_dimension},
        {"deprecated", opt(c.deprecated)},
    };
}

json::Value to_json(const Metric& m) {
    json::Array grains;
    for (auto g : m.valid_grains) grains.emplace_back(written(g));
    return json::Object{
        {"name", m.name},
        {"expr", m.expr},
        {"description", opt(m.description)},
        {"context", opt(m.context)},
        {"example_queries", texts(m.example_queries)},
        {"filters", texts(m.filters)},
        {"time_dimension", opt(m.time_dimension)},
        {"valid_grains", std::move(grains)},
        {"deprecated", opt(m.deprecated)},
    };
}

json::Value to_json(const Source& s) {
    return json::Object{
        {"format", written(s.format)},   {"location", opt(s.location)}, {"connection", opt(s.connection)},
        {"schema", opt(s.schema)},       {"relation", opt(s.relation)},
    };
}

json::Value to_json(const View& v) {
    return json::Object{{"name", v.name}, {"description", opt(v.description)}, {"sql", v.sql}};
}

json::Value to_json(const JoinColumns& j) { return json::Object{{"local", j.local}, {"remote", j.remote}}; }

json::Value to_json(const Relationship& r) {
    return json::Object{
        {"to", r.to}, {"type", written(r.type)}, {"on", opt(r.on)}, {"columns", opt(r.columns)}};
}

json::Value to_json(const Model& m) {
    return json::Object{
        {"version", m.version},
        {"source", to_json(m.source)},
        {"table", to_json(m.table)},
        {"columns", records(m.columns)},
        {"metrics", records(m.metrics)},
        {"relationships", records(m.relationships)},
        {"views", records(m.views)},
        {"context", opt(m.context)},
    };
}

json::Value to_json(const ProjectInfo& p) {
    return json::Object{{"name", p.name}, {"description", opt(p.description)}, {"owner", opt(p.owner)}};
}

json::Value to_json(const Connection& c) {
    return json::Object{
        {"kind", written(c.kind)},
        {"dsn_env", opt(c.dsn_env)},
        {"host", opt(c.host)},
        {"port", c.port ? json::Value(std::uint64_t{*c.port}) : json::Value()},
        {"database", opt(c.database)},
    };
}

}  // namespace korvel
