// The context bundle: the whole project plus a table adjacency map, as one
// record an agent can read.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/json.h"
#include "core/project.h"

namespace korvel {

struct Bundle {
    std::uint32_t bundle_version = 1;
    std::uint32_t spec_version = 0;
    std::string tool_version = "0.1.0";
    std::optional<std::uint64_t> generated_at_epoch;  // never set
    ProjectInfo project;
    std::map<std::string, Connection> connections;
    std::map<std::string, Model> tables;
    // Undirected: each list sorted byte-wise with every neighbour once.
    std::map<std::string, std::vector<std::string>> join_graph;
};

// Copies the project into a bundle; does not validate and cannot fail.
Bundle compile(const Project& project);

json::Value to_json(const Bundle& bundle);

}  // namespace korvel
