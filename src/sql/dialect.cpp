#include "sql/dialect.h"

#include <array>

namespace korvel::sql {

namespace {

// Field order follows Grammar in dialect.h.
constexpr Grammar kDuckDbGrammar{
    .double_quoted_identifiers = true, .backtick_identifiers = false, .bracket_identifiers = false,
    .backslash_escapes = false, .escape_strings = true, .national_strings = false, .hex_strings = false, .raw_strings = false,
    .dollar_strings = true, .nested_comments = true, .slash_comments = false,
    .dollar_in_identifiers = true, .number_suffixes = false, .hex_numbers = true, .double_colon_cast = true,
    .try_cast = true, .pipe_concat = true, .json_arrows = true, .hash_operators = false,
    .containment = true, .regex_tilde = false, .null_safe_eq = false, .double_eq = true,
    .not_lt_gt = false, .caret = CaretOp::Power, .bitwise = true, .shifts = true,
    .slash_slash_div = true, .star_star_pow = true, .div_keyword = false,
    .boolean_literals = true, .is_true_false = true, .is_unknown = false, .ilike = true,
    .similar_to = true, .rlike = false, .glob = true, .filter_clause = true,
    .order_in_call = true, .arrow_named_args = true, .walrus_named_args = true,
    .at_time_zone = true, .extract = true, .interval = true, .interval_bare_value = true,
    .typed_literals = true, .angle_types = false, .array_constructor = true, .list_literal = true, .subscripts = true,
    .colon_paths = false, .field_access = true, .struct_literal = true, .isnull_postfix = true, .filter_where_optional = true, .between_symmetric = false, .parse_as = false, .lambdas = false, .limit = true, .top = false, .qualify = true};

constexpr Grammar kPostgresGrammar{
    .double_quoted_identifiers = true, .backtick_identifiers = false, .bracket_identifiers = false,
    .backslash_escapes = false, .escape_strings = true, .national_strings = false, .hex_strings = true, .raw_strings = false,
    .dollar_strings = true, .nested_comments = true, .slash_comments = false,
    .dollar_in_identifiers = true, .number_suffixes = false, .hex_numbers = true, .double_colon_cast = true,
    .try_cast = false, .pipe_concat = true, .json_arrows = true, .hash_operators = true,
    .containment = true, .regex_tilde = true, .null_safe_eq = false, .double_eq = false,
    .not_lt_gt = false, .caret = CaretOp::Power, .bitwise = true, .shifts = true,
    .slash_slash_div = false, .star_star_pow = false, .div_keyword = false,
    .boolean_literals = true, .is_true_false = true, .is_unknown = true, .ilike = true,
    .similar_to = true, .rlike = false, .glob = false, .filter_clause = true,
    .order_in_call = true, .arrow_named_args = true, .walrus_named_args = true,
    .at_time_zone = true, .extract = true, .interval = true, .interval_bare_value = false,
    .typed_literals = true, .angle_types = false, .array_constructor = true, .list_literal = false, .subscripts = true,
    .colon_paths = false, .field_access = true, .struct_literal = false, .isnull_postfix = true, .filter_where_optional = false, .between_symmetric = true, .parse_as = false, .lambdas = false, .limit = true, .top = false, .qualify = false};

constexpr Grammar kDatabricksGrammar{
    .double_quoted_identifiers = false, .backtick_identifiers = true, .bracket_identifiers = false,
    .backslash_escapes = true, .escape_strings = false, .national_strings = false, .hex_strings = true, .raw_strings = true,
    .dollar_strings = false, .nested_comments = true, .slash_comments = false,
    .dollar_in_identifiers = false, .number_suffixes = true, .hex_numbers = false, .double_colon_cast = true,
    .try_cast = true, .pipe_concat = true, .json_arrows = false, .hash_operators = false,
    .containment = false, .regex_tilde = false, .null_safe_eq = true, .double_eq = true,
    .not_lt_gt = false, .caret = CaretOp::Xor, .bitwise = true, .shifts = false,
    .slash_slash_div = false, .star_star_pow = false, .div_keyword = true,
    .boolean_literals = true, .is_true_false = true, .is_unknown = false, .ilike = true,
    .similar_to = false, .rlike = true, .glob = false, .filter_clause = true,
    .order_in_call = false, .arrow_named_args = true, .walrus_named_args = false,
    .at_time_zone = false, .extract = true, .interval = true, .interval_bare_value = true,
    .typed_literals = true, .angle_types = true, .array_constructor = false, .list_literal = false, .subscripts = true,
    .colon_paths = true, .field_access = true, .struct_literal = false, .isnull_postfix = false, .filter_where_optional = false, .between_symmetric = false, .parse_as = false, .lambdas = true, .limit = true, .top = false, .qualify = true};

constexpr Grammar kSnowflakeGrammar{
    .double_quoted_identifiers = true, .backtick_identifiers = false, .bracket_identifiers = false,
    .backslash_escapes = true, .escape_strings = false, .national_strings = false, .hex_strings = true, .raw_strings = false,
    .dollar_strings = true, .nested_comments = false, .slash_comments = true,
    .dollar_in_identifiers = true, .number_suffixes = false, .hex_numbers = false, .double_colon_cast = true,
    .try_cast = true, .pipe_concat = true, .json_arrows = false, .hash_operators = false,
    .containment = false, .regex_tilde = false, .null_safe_eq = false, .double_eq = false,
    .not_lt_gt = false, .caret = CaretOp::None, .bitwise = false, .shifts = false,
    .slash_slash_div = false, .star_star_pow = false, .div_keyword = false,
    .boolean_literals = true, .is_true_false = false, .is_unknown = false, .ilike = true,
    .similar_to = false, .rlike = true, .glob = false, .filter_clause = false,
    .order_in_call = false, .arrow_named_args = true, .walrus_named_args = false,
    .at_time_zone = false, .extract = true, .interval = true, .interval_bare_value = false,
    .typed_literals = true, .angle_types = false, .array_constructor = false, .list_literal = true, .subscripts = true,
    .colon_paths = true, .field_access = false, .struct_literal = true, .isnull_postfix = false, .filter_where_optional = false, .between_symmetric = false, .parse_as = false, .lambdas = true, .limit = true, .top = true, .qualify = true};

constexpr Grammar kSqlServerGrammar{
    .double_quoted_identifiers = true, .backtick_identifiers = false, .bracket_identifiers = true,
    .backslash_escapes = false, .escape_strings = false, .national_strings = true, .hex_strings = false, .raw_strings = false,
    .dollar_strings = false, .nested_comments = true, .slash_comments = false,
    .dollar_in_identifiers = true, .number_suffixes = false, .hex_numbers = true, .double_colon_cast = false,
    .try_cast = true, .pipe_concat = false, .json_arrows = false, .hash_operators = false,
    .containment = false, .regex_tilde = false, .null_safe_eq = false, .double_eq = false,
    .not_lt_gt = true, .caret = CaretOp::Xor, .bitwise = true, .shifts = false,
    .slash_slash_div = false, .star_star_pow = false, .div_keyword = false,
    .boolean_literals = false, .is_true_false = false, .is_unknown = false, .ilike = false,
    .similar_to = false, .rlike = false, .glob = false, .filter_clause = false,
    .order_in_call = false, .arrow_named_args = false, .walrus_named_args = false,
    .at_time_zone = true, .extract = false, .interval = false, .interval_bare_value = false,
    .typed_literals = false, .angle_types = false, .array_constructor = false, .list_literal = false,
    .subscripts = false, .colon_paths = false, .field_access = false, .struct_literal = false, .isnull_postfix = false, .filter_where_optional = false, .between_symmetric = false, .parse_as = true, .lambdas = false, .limit = false, .top = true,
    .qualify = false};

constexpr std::array<DialectTraits, 5> kTraits{{
    {"duckdb", '"', '"', FilterStyle::FilterClause, TimeBucket::DateTrunc, RowLimit::Limit,
     GroupBy::Positions, true, kDuckDbGrammar},
    {"postgres", '"', '"', FilterStyle::FilterClause, TimeBucket::DateTrunc, RowLimit::Limit,
     GroupBy::Positions, false, kPostgresGrammar},
    {"databricks", '`', '`', FilterStyle::FilterClause, TimeBucket::DateTrunc, RowLimit::Limit,
     GroupBy::Positions, false, kDatabricksGrammar},
    {"snowflake", '"', '"', FilterStyle::CaseWhen, TimeBucket::DateTrunc, RowLimit::Limit,
     GroupBy::Positions, false, kSnowflakeGrammar},
    {"sqlserver", '[', ']', FilterStyle::CaseWhen, TimeBucket::Datetrunc, RowLimit::Top,
     GroupBy::Expressions, false, kSqlServerGrammar},
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
