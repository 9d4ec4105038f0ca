// The five SQL dialects and the one table of everything that differs between them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel::sql {

enum class Dialect { DuckDb, Postgres, Databricks, Snowflake, SqlServer };

enum class FilterStyle { FilterClause, CaseWhen };
enum class TimeBucket { DateTrunc, Datetrunc };
enum class RowLimit { Limit, Top };

struct DialectTraits {
    std::string_view name;       // the canonical lower-case name
    char quote_open;             // identifier quoting
    char quote_close;            // doubled when it occurs inside an identifier
    FilterStyle metric_filters;  // how metric filters reach aggregates
    TimeBucket time_bucket;
    RowLimit row_limit;
    bool file_table_functions;   // file sources read through table functions
};

const DialectTraits& traits(Dialect d);

// Case-insensitive (ASCII) dialect name, no trimming; nothing for unknown names.
std::optional<Dialect> from_str_loose(std::string_view name);

// The identifier enclosed in the dialect's quotes, closing quotes doubled.
std::string quote(Dialect d, std::string_view identifier);

}  // namespace korvel::sql
