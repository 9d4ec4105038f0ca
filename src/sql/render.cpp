#include "sql/render.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

namespace korvel::sql {

namespace {

std::string_view table_function(SourceFormat format) {
    switch (format) {
        case SourceFormat::Delta: return "delta_scan";
        case SourceFormat::Iceberg: return "iceberg_scan";
        case SourceFormat::Parquet: return "read_parquet";
        case SourceFormat::Csv:
        case SourceFormat::Txt: return "read_csv_auto";
        case SourceFormat::Json: return "read_json_auto";
        default: return {};
    }
}

// The text as the body of a single-quoted SQL string literal.
std::string single_quoted_body(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

constexpr std::string_view kAggregates[] = {
    "count",    "sum",      "avg",      "min",      "max",      "median",          "stddev",
    "stddev_pop", "stddev_samp", "variance", "var_pop", "var_samp", "bool_and",     "bool_or",
    "percentile_cont", "percentile_disc", "approx_count_distinct",
};

bool is_or(const Expr& e) {
    const auto* b = e.as<Binary>();
    return b && b->op == BinaryOp::Or;
}

// f1 AND f2 AND ... over [begin, end), nested to the left. Long lists are split
// in halves first: AND is associative and prints without parentheses either
// way, and the halving keeps the tree shallow enough for any number of filters.
ExprPtr conjunction(std::vector<ExprPtr>& filters, std::size_t begin, std::size_t end) {
    constexpr std::size_t kChain = 64;
    if (end - begin > kChain) {
        std::size_t mid = begin + (end - begin) / 2;
        ExprPtr left = conjunction(filters, begin, mid);
        return and_(std::move(left), conjunction(filters, mid, end));
    }
    ExprPtr out = std::move(filters[begin]);
    for (std::size_t i = begin + 1; i < end; ++i) out = and_(std::move(out), std::move(filters[i]));
    return out;
}

}  // namespace

bool is_aggregate(std::string_view last_part) {
    std::string lower(last_part);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return std::find(std::begin(kAggregates), std::end(kAggregates), lower) != std::end(kAggregates);
}

bool is_aggregate(const std::vector<Ident>& name) { return !name.empty() && is_aggregate(name.back().value); }

Qualifier::Qualifier(const Model& base, Dialect dialect) : base_(base), dialect_(dialect) {
    columns_.reserve(base.columns.size());
    for (const auto& c : base.columns) columns_.insert(c.name);
}

Result<ExprPtr, QueryError> Qualifier::operator()(std::string_view text) const {
    auto parsed = parse_expr(text, dialect_);
    if (!parsed) return fail(QueryError::BadExpression{std::string(text), std::move(parsed).error()});
    if (parsed->next)
        return fail(QueryError::BadExpression{
            std::string(text),
            fmt::format("unexpected trailing input starting at `{}`; expected a single expression", *parsed->next)});
    ExprPtr expr = std::move(parsed->expr);
    const char quote_char = traits(dialect_).quote_open;
    walk(expr, [&](ExprPtr& node) {
        const auto* id = node->as<Identifier>();
        if (id && columns_.count(id->name.value)) node = compound({base_.table.name, id->name.value}, quote_char);
    });
    return expr;
}

Result<ExprPtr, QueryError> qualify_expr(std::string_view text, const Model& base, Dialect dialect) {
    return Qualifier(base, dialect)(text);
}

void case_wrap_arguments(Function& call, const Expr& condition) {
    if (call.form != ArgForm::List) return;
    for (auto& arg : call.args) {
        if (arg.name) continue;  // named arguments keep their value
        if (arg.kind == FunctionArg::Kind::Expr) {
            arg.expr = case_when(copy(condition), std::move(arg.expr));
        } else if (arg.kind == FunctionArg::Kind::Wildcard) {
            arg.kind = FunctionArg::Kind::Expr;
            arg.expr = case_when(copy(condition), number("1"));
        }
    }
}

Result<ExprPtr, QueryError> apply_metric_filters(ExprPtr expr, const Metric& metric, const Qualifier& qualify) {
    if (metric.filters.empty()) return expr;
    std::vector<ExprPtr> filters;
    filters.reserve(metric.filters.size());
    for (const auto& text : metric.filters) {
        auto f = qualify(text);
        if (!f) return fail(std::move(f).error());
        filters.push_back(std::move(f).value());
    }
    ExprPtr condition = conjunction(filters, 0, filters.size());
    const bool filter_clause = traits(qualify.dialect()).metric_filters == FilterStyle::FilterClause;
    walk(expr, [&](ExprPtr& node) {
        auto* call = node->as<Function>();
        if (!call || !is_aggregate(call->name)) return;
        if (!filter_clause)
            case_wrap_arguments(*call, *condition);
        else if (!call->filter)
            call->filter = copy(*condition);
    });
    return expr;
}

Result<std::string, QueryError> render_metric(const Metric& metric, const Qualifier& qualify) {
    auto expr = qualify(metric.expr);
    if (!expr) return fail(std::move(expr).error());
    auto filtered = apply_metric_filters(std::move(expr).value(), metric, qualify);
    if (!filtered) return fail(std::move(filtered).error());
    return print(**filtered);
}

Result<std::string, QueryError> render_condition(std::string_view text, const Qualifier& qualify, bool guard_or) {
    auto expr = qualify(text);
    if (!expr) return fail(std::move(expr).error());
    std::string printed = print(**expr);
    if (guard_or && is_or(**expr)) return "(" + printed + ")";
    return printed;
}

std::string render_relation(const Model& model, Dialect dialect) {
    const Source& source = model.source;
    const std::string alias = quote(dialect, model.table.name);
    if (traits(dialect).file_table_functions && is_file_based(source.format) && source.location)
        return fmt::format("{}('{}') AS {}", table_function(source.format), single_quoted_body(*source.location),
                           alias);
    const std::string& name = source.relation ? *source.relation : model.table.name;
    std::string out;
    if (source.schema) {
        out += quote(dialect, *source.schema);
        out += '.';
    }
    out += quote(dialect, name);
    if (name != model.table.name) {
        out += " AS ";
        out += alias;
    }
    return out;
}

Result<std::string, QueryError> generate_sql(const Project& project, const plan::Query& query, Dialect dialect) {
    auto resolved_or = plan::resolve(project, query);
    if (!resolved_or) return fail(std::move(resolved_or).error());
    const plan::ResolvedQuery& rq = *resolved_or;
    const Model& base = *rq.base;
    const DialectTraits& t = traits(dialect);
    auto q = [dialect](std::string_view name) { return quote(dialect, name); };
    const Qualifier qualify(base, dialect);

    std::vector<std::string> items;
    std::vector<std::string_view> sortable;
    items.reserve(rq.dimensions.size() + rq.metrics.size() + 1);
    sortable.reserve(items.capacity());
    // The grouped expressions, for dialects whose GROUP BY takes no positions.
    std::vector<std::string> grouped;

    std::string bucket_alias;
    if (query.grain && rq.time_column) {
        const std::string_view grain = written(*query.grain);
        bucket_alias = fmt::format("{}_{}", *rq.time_column, grain);
        const std::string column = fmt::format("{}.{}", q(base.table.name), q(*rq.time_column));
        const std::string bucket = t.time_bucket == TimeBucket::Datetrunc
                                       ? fmt::format("DATETRUNC({}, {})", grain, column)
                                       : fmt::format("date_trunc('{}', {})", grain, column);
        items.push_back(fmt::format("{} AS {}", bucket, q(bucket_alias)));
        sortable.push_back(bucket_alias);
        if (t.group_by == GroupBy::Expressions) grouped.push_back(bucket);
    }
    for (const auto& d : rq.dimensions) {
        items.push_back(fmt::format("{}.{} AS {}", q(d.table), q(d.column), q(d.column)));
        sortable.push_back(d.column);
        if (t.group_by == GroupBy::Expressions) grouped.push_back(fmt::format("{}.{}", q(d.table), q(d.column)));
    }
    const std::size_t grouping = items.size();

    for (const Metric* m : rq.metrics) {
        auto text = render_metric(*m, qualify);
        if (!text) return fail(std::move(text).error());
        items.push_back(fmt::format("{} AS {}", *text, q(m->name)));
        sortable.push_back(m->name);
    }

    std::string sql;
    if (query.limit && t.row_limit == RowLimit::Top)
        fmt::format_to(std::back_inserter(sql), "SELECT TOP ({})\n  ", *query.limit);
    else
        sql += "SELECT\n  ";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) sql += ",\n  ";
        sql += items[i];
    }
    sql += "\nFROM ";
    sql += render_relation(base, dialect);
    for (const auto& j : rq.joins) {
        // The graph holds only edges to loaded models, so the target exists.
        const Model* target = project.find_model(j.to_table);
        fmt::format_to(std::back_inserter(sql), "\nLEFT JOIN {} ON {}.{} = {}.{}",
                       target ? render_relation(*target, dialect) : q(j.to_table), q(j.from_table),
                       q(j.from_column), q(j.to_table), q(j.to_column));
    }

    if (!query.filters.empty()) {
        const bool several = query.filters.size() > 1;
        sql += "\nWHERE ";
        for (std::size_t i = 0; i < query.filters.size(); ++i) {
            auto f = render_condition(query.filters[i], qualify, several);
            if (!f) return fail(std::move(f).error());
            if (i) sql += " AND ";
            sql += *f;
        }
    }

    auto positions = [](std::string& out, std::size_t k) {
        for (std::size_t i = 1; i <= k; ++i) {
            if (i > 1) out += ", ";
            fmt::format_to(std::back_inserter(out), "{}", i);
        }
    };
    if (grouping > 0) {
        sql += "\nGROUP BY ";
        if (t.group_by == GroupBy::Expressions) {
            for (std::size_t i = 0; i < grouped.size(); ++i) {
                if (i) sql += ", ";
                sql += grouped[i];
            }
        } else {
            positions(sql, grouping);
        }
    }
    if (!query.order_by.empty()) {
        // Output name -> (first position, whether another output column shares the name).
        std::unordered_map<std::string_view, std::pair<std::size_t, bool>> outputs;
        for (std::size_t i = 0; i < sortable.size(); ++i) {
            auto [it, fresh] = outputs.try_emplace(sortable[i], i + 1, false);
            if (!fresh) it->second.second = true;
        }
        std::string order;
        for (std::size_t i = 0; i < query.order_by.size(); ++i) {
            const plan::OrderBy& o = query.order_by[i];
            auto it = outputs.find(o.field);
            if (it == outputs.end())
                return fail(QueryError::UnknownSortField{o.field, std::vector<std::string>(sortable.begin(), sortable.end())});
            if (i) order += ", ";
            // A name two output columns share would be ambiguous to the database;
            // its first column is meant, so it is written by position.
            if (it->second.second)
                fmt::format_to(std::back_inserter(order), "{}", it->second.first);
            else
                order += q(o.field);
            if (o.desc) order += " DESC";
        }
        sql += "\nORDER BY ";
        sql += order;
    } else if (grouping > 0) {
        sql += "\nORDER BY ";
        positions(sql, grouping);
    }
    if (query.limit && t.row_limit == RowLimit::Limit) fmt::format_to(std::back_inserter(sql), "\nLIMIT {}", *query.limit);
    return sql;
}

}  // namespace korvel::sql
