// The semantic query, its reading from JSON, and its resolution against a
// project: metrics, base table, time column, dimensions and joins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.h"
#include "core/project.h"
#include "core/result.h"
#include "core/types.h"
#include "sql/error.h"

// The plan module has its own namespace: the expression engine's tree also
// has a node named Query (a subquery), distinct from the semantic query here.
namespace korvel::sql::plan {

struct OrderBy {
    std::string field;
    bool desc = false;
};

struct Query {
    std::vector<std::string> metrics;
    std::vector<std::string> dimensions;
    std::vector<std::string> filters;
    std::optional<TimeGrain> grain;
    std::vector<OrderBy> order_by;
    std::optional<std::uint64_t> limit;
};

// Readers of the caller's JSON; a failure is the reader's message.
Result<Query, std::string> read_query(const json::Value& value);
Result<OrderBy, std::string> read_order_by(const json::Value& value);

// ------------------------------------------------------------ resolution

struct DimensionRef {
    std::string table;
    std::string column;
};

struct JoinStep {
    std::string from_table;
    std::string from_column;
    std::string to_table;
    std::string to_column;
};

struct ResolvedQuery {
    std::vector<const Metric*> metrics;      // query order, duplicates kept
    std::vector<DimensionRef> dimensions;    // query order, duplicates kept
    std::vector<JoinStep> joins;             // in writing order
    const Model* base = nullptr;
    std::optional<std::string> time_column;  // present exactly when the query has a grain
};

Result<ResolvedQuery, QueryError> resolve(const Project& project, const Query& query);

// At most three candidates within edit distance 2, nearest first, ties by bytes.
std::vector<std::string> nearest(std::string_view name, const std::vector<std::string_view>& candidates);
// `nearest` over the sorted, de-duplicated column names of every model.
std::vector<std::string> dimension_suggestions(const Project& project, std::string_view name);
// Edit distance over Unicode scalar values.
std::size_t levenshtein(std::string_view a, std::string_view b);
// min(levenshtein(a, b), limit + 1), computed only within the band that matters.
std::size_t levenshtein_bounded(std::string_view a, std::string_view b, std::size_t limit);

// ------------------------------------------------------------ join graph

struct JoinEdge {
    std::string_view from_table;
    std::string_view from_column;
    std::string_view to_table;
    std::string_view to_column;
    bool fans_out = false;
};

// Two edges per usable relationship (forward, then reverse), models in
// project order, relationships in file order. Views into the project.
std::vector<JoinEdge> build_join_graph(const Project& project);

// Breadth-first search for the shortest path of edge positions; ties go to
// the edge that comes first in the list. Nothing when the goal is unreachable.
std::optional<std::vector<std::size_t>> bfs_path(const std::vector<JoinEdge>& edges, std::string_view start,
                                                 std::string_view goal, bool allow_fan_out);

// The joins from the base table to every dimension's table, fan-out-free paths only.
Result<std::vector<JoinStep>, QueryError> plan_joins(const Project& project, const Model& base,
                                                     const std::vector<DimensionRef>& dimensions);

}  // namespace korvel::sql::plan
