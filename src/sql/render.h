// SQL text for a resolved query: relations, metric expressions and the statement.
#pragma once

#include <string>

#include "core/project.h"
#include "core/result.h"
#include "core/types.h"
#include "sql/dialect.h"
#include "sql/error.h"
#include "sql/plan.h"

namespace korvel::sql {

// The FROM-clause text of a model's table, aliased as its quoted table name
// whenever the text differs from that name.
std::string render_relation(const Model& model, Dialect dialect);

// A metric's expression with bare base columns qualified and its filters
// applied to every aggregate call, printed.
Result<std::string, QueryError> render_metric(const Metric& metric, const Model& base, Dialect dialect);
// A query filter with bare base columns qualified, printed; enclosed in
// parentheses when `guard_or` is set and its top level is an OR.
Result<std::string, QueryError> render_condition(std::string_view text, const Model& base, Dialect dialect,
                                                 bool guard_or);

// One SELECT statement for the query, or the first error in stage order.
Result<std::string, QueryError> generate_sql(const Project& project, const Query& query, Dialect dialect);

}  // namespace korvel::sql
