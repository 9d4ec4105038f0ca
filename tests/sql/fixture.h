// In-memory projects for planner tests.
#pragma once

#include <fmt/format.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/project.h"
#include "core/types.h"

namespace fixture {

using korvel::Cardinality;
using korvel::Column;
using korvel::Metric;
using korvel::Model;
using korvel::Project;
using korvel::Relationship;
using korvel::SourceFormat;

inline Column column(std::string name, bool time_dimension = false) {
    Column c;
    c.name = std::move(name);
    c.type = "string";
    c.time_dimension = time_dimension;
    return c;
}

inline Metric metric(std::string name, std::string expr, std::vector<std::string> filters = {}) {
    Metric m;
    m.name = std::move(name);
    m.expr = std::move(expr);
    m.filters = std::move(filters);
    return m;
}

inline Relationship rel_on(std::string to, Cardinality type, std::string on) {
    Relationship r;
    r.to = std::move(to);
    r.type = type;
    r.on = std::move(on);
    return r;
}

inline Relationship rel_columns(std::string to, Cardinality type, std::string local, std::string remote) {
    Relationship r;
    r.to = std::move(to);
    r.type = type;
    r.columns = korvel::JoinColumns{std::move(local), std::move(remote)};
    return r;
}

// A database-backed model of `table` with the given column names.
inline Model model(std::string table, std::initializer_list<const char*> columns) {
    Model m;
    m.version = 1;
    m.source.format = SourceFormat::Postgres;
    m.table.name = std::move(table);
    for (const char* c : columns) m.columns.push_back(column(c));
    return m;
}

// Models keep the order given (stored paths sort the same way).
inline Project project(std::vector<Model> models) {
    Project p;
    p.root = "/nonexistent";
    for (std::size_t i = 0; i < models.size(); ++i)
        p.models.emplace_back(fmt::format("models/{:04}.yml", i), std::move(models[i]));
    return p;
}

// orders (order_date time dimension, amount, status, customer_id; metrics
// revenue, order_count) many_to_one customers (customer_id, region, country_id)
// many_to_one countries (country_id, name).
inline Project shop() {
    Model orders = model("orders", {"order_date", "amount", "status", "customer_id", "order_id"});
    orders.columns[0].time_dimension = true;
    orders.metrics.push_back(metric("revenue", "SUM(amount)"));
    orders.metrics.push_back(metric("order_count", "COUNT(*)"));
    orders.relationships.push_back(rel_on("customers", Cardinality::ManyToOne, "customer_id"));
    Model customers = model("customers", {"customer_id", "region", "country_id"});
    customers.metrics.push_back(metric("customer_count", "COUNT(*)"));
    customers.relationships.push_back(rel_on("countries", Cardinality::ManyToOne, "country_id"));
    Model countries = model("countries", {"country_id", "name"});
    return project({std::move(orders), std::move(customers), std::move(countries)});
}

}  // namespace fixture
