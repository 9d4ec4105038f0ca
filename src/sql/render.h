// SQL text for a resolved query: relations, metric expressions and the statement.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/project.h"
#include "core/result.h"
#include "core/types.h"
#include "sql/dialect.h"
#include "sql/error.h"
#include "sql/expr.h"
#include "sql/plan.h"

namespace korvel::sql {

// The FROM-clause text of a model's table, aliased as its quoted table name
// whenever the text differs from that name.
std::string render_relation(const Model& model, Dialect dialect);

// Parses one expression in the dialect's grammar and qualifies every bare
// reference to a base-model column with the base table's name.
Result<ExprPtr, QueryError> qualify_expr(std::string_view text, const Model& base, Dialect dialect);

// qualify_expr with the base model's column names gathered once, for the
// many fragments of one statement.
class Qualifier {
public:
    Qualifier(const Model& base, Dialect dialect);
    Result<ExprPtr, QueryError> operator()(std::string_view text) const;
    Dialect dialect() const { return dialect_; }

private:
    const Model& base_;
    Dialect dialect_;
    std::unordered_set<std::string_view> columns_;
};

// Whether a function name (last part, ASCII case-insensitive) is an aggregate.
bool is_aggregate(const std::vector<Ident>& name);
bool is_aggregate(std::string_view last_part);

// Wraps every positional argument of a call as CASE WHEN condition THEN arg END
// (a bare * becomes THEN 1).
void case_wrap_arguments(Function& call, const Expr& condition);

// The metric's qualified expression with its filters attached to every
// aggregate call, in the dialect's style.
Result<ExprPtr, QueryError> apply_metric_filters(ExprPtr expr, const Metric& metric, const Qualifier& qualify);

// A metric's expression with bare base columns qualified and its filters
// applied to every aggregate call, printed.
Result<std::string, QueryError> render_metric(const Metric& metric, const Qualifier& qualify);
// A query filter with bare base columns qualified, printed; enclosed in
// parentheses when `guard_or` is set and its top level is an OR.
Result<std::string, QueryError> render_condition(std::string_view text, const Qualifier& qualify, bool guard_or);

// One SELECT statement for the query, or the first error in stage order.
Result<std::string, QueryError> generate_sql(const Project& project, const plan::Query& query, Dialect dialect);

}  // namespace korvel::sql
