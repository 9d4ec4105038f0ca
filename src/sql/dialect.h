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
// How GROUP BY names the grouped select items: by position, or by repeating their
// expressions where the engine takes no positions there (SQL Server).
enum class GroupBy { Positions, Expressions };

enum class CaretOp { None, Power, Xor };

// What the expression parser accepts in each dialect.
struct Grammar {
    bool double_quoted_identifiers;  // "name" (otherwise "..." is a string)
    bool backtick_identifiers;       // `name`
    bool bracket_identifiers;        // [name], which rules out a[i]
    bool backslash_escapes;          // 'it\'s' in plain strings
    bool escape_strings;             // E'...'
    bool national_strings;           // N'...'
    bool hex_strings;                // X'1F'
    bool raw_strings;                // r'\d+'
    bool dollar_strings;             // $$...$$, $tag$...$tag$
    bool nested_comments;            // /* /* */ */
    bool slash_comments;             // // to the end of the line
    bool dollar_in_identifiers;      // a$b
    bool number_suffixes;            // 1L, 2.5D, 3BD
    bool hex_numbers;                // 0x1F
    bool double_colon_cast;          // x::int
    bool try_cast;
    bool pipe_concat;                // ||
    bool json_arrows;                // -> ->>
    bool hash_operators;             // # #> #>> ? ?| ?&
    bool containment;                // @> <@ &&
    bool regex_tilde;                // ~ ~* !~ !~*
    bool null_safe_eq;               // <=>
    bool double_eq;                  // ==
    bool not_lt_gt;                  // !< !>
    CaretOp caret;
    bool bitwise;                    // & | ~
    bool shifts;                     // << >>
    bool slash_slash_div;            // //
    bool star_star_pow;              // **
    bool div_keyword;                // a DIV b
    bool boolean_literals;           // TRUE / FALSE
    bool is_true_false;              // IS [NOT] TRUE / FALSE
    bool is_unknown;                 // IS [NOT] UNKNOWN
    bool ilike;
    bool similar_to;
    bool rlike;                      // RLIKE / REGEXP
    bool glob;
    bool filter_clause;              // agg(...) FILTER (WHERE ...)
    bool order_in_call;              // string_agg(x, ',' ORDER BY y)
    bool arrow_named_args;           // f(name => value)
    bool walrus_named_args;          // f(name := value)
    bool at_time_zone;
    bool extract;
    bool interval;                   // INTERVAL '1' DAY
    bool interval_bare_value;        // INTERVAL 1 DAY
    bool typed_literals;             // DATE '2024-01-01'
    bool angle_types;                // ARRAY<STRING> in casts
    bool array_constructor;          // ARRAY[1, 2]
    bool list_literal;               // [1, 2]
    bool subscripts;                 // a[1]
    bool colon_paths;                // payload:customer.name
    bool field_access;               // (expr).field
    bool struct_literal;             // {'a': 1}
    bool isnull_postfix;             // x ISNULL, x NOTNULL
    bool filter_where_optional;      // FILTER (x > 1)
    bool between_symmetric;          // BETWEEN SYMMETRIC
    bool parse_as;                   // PARSE(x AS type USING culture)
    bool lambdas;                    // x -> x + 1 as a call argument
    bool limit;                      // LIMIT n in subqueries
    bool top;                        // SELECT TOP (n)
    bool qualify;                    // QUALIFY in subqueries
};

struct DialectTraits {
    std::string_view name;       // the canonical lower-case name
    char quote_open;             // identifier quoting
    char quote_close;            // doubled when it occurs inside an identifier
    FilterStyle metric_filters;  // how metric filters reach aggregates
    TimeBucket time_bucket;
    RowLimit row_limit;
    GroupBy group_by;
    bool file_table_functions;   // file sources read through table functions
    Grammar grammar;             // the expression grammar
};

const DialectTraits& traits(Dialect d);

// Case-insensitive (ASCII) dialect name, no trimming; nothing for unknown names.
std::optional<Dialect> from_str_loose(std::string_view name);

// The identifier enclosed in the dialect's quotes, closing quotes doubled.
std::string quote(Dialect d, std::string_view identifier);

}  // namespace korvel::sql
