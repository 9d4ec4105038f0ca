#include "sql/render.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

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

}  // namespace

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

Result<std::string, QueryError> generate_sql(const Project& project, const Query& query, Dialect dialect) {
    auto resolved_or = resolve(project, query);
    if (!resolved_or) return fail(std::move(resolved_or).error());
    const ResolvedQuery& rq = *resolved_or;
    const Model& base = *rq.base;
    const DialectTraits& t = traits(dialect);
    auto q = [dialect](std::string_view name) { return quote(dialect, name); };

    std::vector<std::string> items;
    std::vector<std::string_view> sortable;
    items.reserve(rq.dimensions.size() + rq.metrics.size() + 1);
    sortable.reserve(items.capacity());

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
    }
    for (const auto& d : rq.dimensions) {
        items.push_back(fmt::format("{}.{} AS {}", q(d.table), q(d.column), q(d.column)));
        sortable.push_back(d.column);
    }
    const std::size_t grouping = items.size();

    for (const Metric* m : rq.metrics) {
        auto text = render_metric(*m, base, dialect);
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
        const Model* target = find_model(project, j.to_table);
        fmt::format_to(std::back_inserter(sql), "\nLEFT JOIN {} ON {}.{} = {}.{}",
                       target ? render_relation(*target, dialect) : q(j.to_table), q(j.from_table),
                       q(j.from_column), q(j.to_table), q(j.to_column));
    }

    if (!query.filters.empty()) {
        const bool several = query.filters.size() > 1;
        sql += "\nWHERE ";
        for (std::size_t i = 0; i < query.filters.size(); ++i) {
            auto f = render_condition(query.filters[i], base, dialect, several);
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
        positions(sql, grouping);
    }
    if (!query.order_by.empty()) {
        std::string order;
        for (std::size_t i = 0; i < query.order_by.size(); ++i) {
            const OrderBy& o = query.order_by[i];
            if (std::find(sortable.begin(), sortable.end(), o.field) == sortable.end())
                return fail(QueryError::UnknownSortField{o.field, std::vector<std::string>(sortable.begin(), sortable.end())});
            if (i) order += ", ";
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
