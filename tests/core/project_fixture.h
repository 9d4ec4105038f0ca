// In-memory projects for the checks and context tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <ostream>

#include "core/project.h"
#include "core/validate.h"

namespace korvel {
// Readable findings in test failures.
inline void PrintTo(const Issue& issue, std::ostream* os) { *os << '"' << issue.text() << '"'; }
}  // namespace korvel

namespace korvel::testing {

inline Column column(std::string name, std::string type = "int64") {
    Column c;
    c.name = std::move(name);
    c.type = std::move(type);
    return c;
}

inline Metric metric(std::string name, std::string expr = "SUM(amount)") {
    Metric m;
    m.name = std::move(name);
    m.expr = std::move(expr);
    return m;
}

inline Relationship on_column(std::string to, std::string on, Cardinality type = Cardinality::ManyToOne) {
    Relationship r;
    r.to = std::move(to);
    r.type = type;
    r.on = std::move(on);
    return r;
}

// A parquet table with a location and an `id` column: silent under validation.
inline Model table(std::string name) {
    Model m;
    m.version = 1;
    m.source.format = SourceFormat::Parquet;
    m.source.location = "data/" + name + ".parquet";
    m.table.name = std::move(name);
    m.columns.push_back(column("id"));
    return m;
}

inline Project project(std::vector<std::pair<std::string, Model>> models, std::string name = "shop") {
    Project p;
    p.root = ".";
    p.manifest.korvel = 1;
    p.manifest.project.name = std::move(name);
    for (auto& [path, model] : models) p.models.emplace_back(path, std::move(model));
    return p;
}

}  // namespace korvel::testing
