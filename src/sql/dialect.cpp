#include "sql/dialect.h"

#include <array>

namespace korvel::sql {

namespace {

constexpr std::array<DialectTraits, 5> kTraits{{
    {"duckdb", '"', '"', FilterStyle::FilterClause, TimeBucket::DateTrunc, RowLimit::Limit, true},
    {"postgres", '"', '"', FilterStyle::FilterClause, TimeBucket::DateTrunc, RowLimit::Limit, false},
    {"databricks", '`', '`', FilterStyle::FilterClause, TimeBucket::DateTrunc, RowLimit::Limit, false},
    {"snowflake", '"', '"', FilterStyle::CaseWhen, TimeBucket::DateTrunc, RowLimit::Limit, false},
    {"sqlserver", '[', ']', FilterStyle::CaseWhen, TimeBucket::Datetrunc, RowLimit::Top, false},
}};

struct Alias {
    std::string_view name;
    Dialect dialect;
};

constexpr std::array<Alias, 9> kAliases{{
    {"duckdb", Dialect::DuckDb},
    {"postgres", Dialect::Postgres},
    {"postgresql", Dialect::Postgres},
    {"databricks", Dialect::Databricks},
    {"spark", Dialect::Databricks},
    {"snowflake", Dialect::Snowflake},
    {"sqlserver", Dialect::SqlServer},
    {"mssql", Dialect::SqlServer},
    {"tsql", Dialect::SqlServer},
}};

}  // namespace

const DialectTraits& traits(Dialect d) { return kTraits[static_cast<std::size_t>(d)]; }

std::optional<Dialect> from_str_loose(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const auto& a : kAliases)
        if (a.name == lower) return a.dialect;
    return std::nullopt;
}

std::string quote(Dialect d, std::string_view identifier) {
    const auto& t = traits(d);
    std::string out;
    out.reserve(identifier.size() + 2);
    out += t.quote_open;
    for (char c : identifier) {
        out += c;
        if (c == t.quote_close) out += c;
    }
    out += t.quote_close;
    return out;
}

}  // namespace korvel::sql
