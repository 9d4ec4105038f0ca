#include "core/bundle.h"

#include <algorithm>

namespace korvel {

Bundle compile(const Project& project) {
    Bundle bundle;
    for (const auto& [path, model] : project.models) {
        const std::string& name = model.table.name;
        for (const auto& rel : model.relationships) bundle.join_graph[rel.to].push_back(name);
        auto& own = bundle.join_graph[name];
        for (const auto& rel : model.relationships) own.push_back(rel.to);
        // A later model with the same table name replaces the earlier one.
        bundle.tables.insert_or_assign(name, model);
    }
    for (auto& [name, neighbours] : bundle.join_graph) {
        std::sort(neighbours.begin(), neighbours.end());
        neighbours.erase(std::unique(neighbours.begin(), neighbours.end()), neighbours.end());
    }
    bundle.project = project.manifest.project;
    bundle.connections = project.manifest.connections;
    bundle.spec_version = project.manifest.korvel;
    return bundle;
}

json::Value to_json(const Bundle& bundle) {
    json::Object connections;
    for (const auto& [name, connection] : bundle.connections) connections.emplace(name, to_json(connection));
    json::Object tables;
    for (const auto& [name, model] : bundle.tables) tables.emplace(name, to_json(model));
    json::Object graph;
    for (const auto& [name, neighbours] : bundle.join_graph) {
        json::Array list;
        for (const auto& n : neighbours) list.emplace_back(n);
        graph.emplace(name, std::move(list));
    }
    return json::Object{
        {"bundle_version", bundle.bundle_version},
        {"spec_version", bundle.spec_version},
        {"tool_version", bundle.tool_version},
        {"generated_at_epoch",
         bundle.generated_at_epoch ? json::Value(*bundle.generated_at_epoch) : json::Value()},
        {"project", to_json(bundle.project)},
        {"connections", std::move(connections)},
        {"tables", std::move(tables)},
        {"join_graph", std::move(graph)},
    };
}

}  // namespace korvel
