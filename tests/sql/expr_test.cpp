#include "sql/expr.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace korvel::sql;

namespace {

constexpr Dialect kAll[] = {Dialect::DuckDb, Dialect::Postgres, Dialect::Databricks, Dialect::Snowflake,
                            Dialect::SqlServer};

std::vector<std::string> corpus(Dialect d) {
    std::ifstream in(std::string(KORVEL_SOURCE_DIR) + "/tests/sql/corpus/" + std::string(traits(d).name) + ".sql");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (line.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(line);
    return lines;
}

ExprPtr parse_ok(std::string_view text, Dialect d) {
    auto r = parse_expr(text, d);
    EXPECT_TRUE(r.ok()) << traits(d).name << ": " << text << "\n  " << (r.ok() ? "" : r.error());
    if (!r.ok()) return nullptr;
    EXPECT_FALSE(r->next.has_value()) << text << " left `" << *r->next << "`";
    return std::move(r->expr);
}

std::string printed(std::string_view text, Dialect d) {
    ExprPtr e = parse_ok(text, d);
    return e ? print(*e) : "<error>";
}

std::string error_of(std::string_view text, Dialect d) {
    auto r = parse_expr(text, d);
    if (r.ok()) return r->next ? "trailing " + *r->next : "parsed: " + print(*r->expr);
    return r.error();
}

// Parse, print, parse again: the same tree, and printing is a fixed point.
void expect_round_trip(const std::string& text, Dialect d) {
    auto first = parse_expr(text, d);
    if (!first.ok() || first->next) return;
    std::string once = print(*first->expr);
    auto second = parse_expr(once, d);
    ASSERT_TRUE(second.ok()) << traits(d).name << ": " << text << "\n  printed " << once << "\n  "
                             << (second.ok() ? "" : second.error());
    EXPECT_FALSE(second->next.has_value()) << once;
    EXPECT_TRUE(*first->expr == *second->expr) << traits(d).name << ": " << text << "\n  printed " << once
                                               << "\n  " << dump(*first->expr) << "\n  " << dump(*second->expr);
    EXPECT_EQ(print(*second->expr), once) << text;
}

}  // namespace

TEST(ExprCorpus, EveryExpressionRoundTrips) {
    for (Dialect d : kAll) {
        auto lines = corpus(d);
        EXPECT_GE(lines.size(), 80u) << traits(d).name;
        for (const auto& line : lines) {
            auto r = parse_expr(line, d);
            ASSERT_TRUE(r.ok()) << traits(d).name << ": " << line << "\n  " << r.error();
            ASSERT_FALSE(r->next.has_value()) << traits(d).name << ": " << line << " left `" << *r->next << "`";
            expect_round_trip(line, d);
        }
    }
}

TEST(ExprPrint, CanonicalForm) {
    struct Case {
        Dialect d;
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {Dialect::Postgres, "a/b", "a / b"},
        {Dialect::Postgres, "x>=1", "x >= 1"},
        {Dialect::Postgres, "a||b", "a || b"},
        {Dialect::Postgres, "x :: int", "x::int"},
        {Dialect::Postgres, "t . c", "t.c"},
        {Dialect::Postgres, "f( a ,b )", "f(a, b)"},
        {Dialect::Postgres, "count( distinct  x )", "count(DISTINCT x)"},
        {Dialect::Postgres, "Sum (x)", "Sum(x)"},
        {Dialect::Postgres, "a and not b or c is not null", "a AND NOT b OR c IS NOT NULL"},
        {Dialect::Postgres, "case when a then 1 else 2 end", "CASE WHEN a THEN 1 ELSE 2 END"},
        {Dialect::Postgres, "x in(1,2)", "x IN (1, 2)"},
        {Dialect::Postgres, "x not between 1 and 2", "x NOT BETWEEN 1 AND 2"},
        {Dialect::Postgres, "x ilike 'a%' escape '!'", "x ILIKE 'a%' ESCAPE '!'"},
        {Dialect::Postgres, "cast(x as numeric( 10 ,2 ))", "CAST(x AS numeric(10, 2))"},
        {Dialect::Postgres, "x::timestamp   with time zone", "x::timestamp with time zone"},
        {Dialect::Postgres, "(  (a)  )", "((a))"},
        {Dialect::Postgres, "(a OR b) AND c", "(a OR b) AND c"},
        {Dialect::Postgres, "\"My \"\"Col\"\"\"", "\"My \"\"Col\"\"\""},
        {Dialect::Postgres, "1.50", "1.50"},
        {Dialect::Postgres, "- - 1", "- -1"},
        {Dialect::Postgres, "-(-1)", "-(-1)"},
        {Dialect::Postgres, "date '2024-01-01'", "date '2024-01-01'"},
        {Dialect::Postgres, "interval '1' day", "INTERVAL '1' DAY"},
        {Dialect::Postgres, "extract(year from d)", "EXTRACT(year FROM d)"},
        {Dialect::Postgres, "count(*) filter(where a) over(partition by b order by c desc)",
         "count(*) FILTER (WHERE a) OVER (PARTITION BY b ORDER BY c DESC)"},
        {Dialect::Postgres, "percentile_cont(.5) within group(order by x)",
         "percentile_cont(.5) WITHIN GROUP (ORDER BY x)"},
        {Dialect::Postgres, "exists(select 1 from t where a=1)", "EXISTS (SELECT 1 FROM t WHERE a = 1)"},
        {Dialect::Postgres, "x at time zone 'UTC'", "x AT TIME ZONE 'UTC'"},
        {Dialect::Postgres, "x collate \"C\"", "x COLLATE \"C\""},
        {Dialect::Postgres, "f(a => 1, b := 2)", "f(a => 1, b := 2)"},
        {Dialect::Postgres, "count(t.*)", "count(t.*)"},
        {Dialect::Postgres, "x = 1 -- note", "x = 1"},
        {Dialect::Postgres, "a\n  AND\tb /* c */\r\n", "a AND b"},
        {Dialect::DuckDb, "a//b", "a // b"},
        {Dialect::DuckDb, "[1,2]", "[1, 2]"},
        {Dialect::DuckDb, "interval 3 month", "INTERVAL 3 MONTH"},
        {Dialect::Databricks, "`a``b`.c", "`a``b`.c"},
        {Dialect::Databricks, "a<=>b", "a <=> b"},
        {Dialect::Databricks, "a div b", "a DIV b"},
        {Dialect::Databricks, "p:a.b[0]", "p:a.b[0]"},
        {Dialect::Databricks, "transform(xs,x->x+1)", "transform(xs, x -> x + 1)"},
        {Dialect::Snowflake, "p:\"A b\"::string", "p:\"A b\"::string"},
        {Dialect::Snowflake, "(select top 3 a from t)", "(SELECT TOP 3 a FROM t)"},
        {Dialect::SqlServer, "[a]]b].[c]", "[a]]b].[c]"},
        {Dialect::SqlServer, "n'x'+N'y'", "n'x' + N'y'"},
        {Dialect::SqlServer, "(select top(1) a from t order by a offset 1 rows fetch next 2 rows only)",
         "(SELECT TOP (1) a FROM t ORDER BY a OFFSET 1 ROWS FETCH NEXT 2 ROWS ONLY)"},
    };
    for (const auto& c : cases) EXPECT_EQ(printed(c.in, c.d), c.out) << traits(c.d).name << ": " << c.in;
}

TEST(ExprParse, Precedence) {
    struct Case {
        const char* in;
        const char* tree;
    };
    const Case cases[] = {
        {"a OR b AND c", "(OR a (AND b c))"},
        {"a AND b OR c", "(OR (AND a b) c)"},
        {"NOT a = b", "(NOT (= a b))"},
        {"NOT a AND b", "(AND (NOT a) b)"},
        {"a + b * c", "(+ a (* b c))"},
        {"a - b - c", "(- (- a b) c)"},
        {"a / b / c", "(/ (/ a b) c)"},
        {"-a * b", "(* (neg a) b)"},
        {"a || b = c", "(= (|| a b) c)"},
        {"a + b || c", "(|| (+ a b) c)"},
        {"a = 1 IS NULL", "(IS (= a 1))"},
        {"x BETWEEN 1 AND 2 AND y", "(AND (BETWEEN x 1 2) y)"},
        {"x BETWEEN a + 1 AND b * 2", "(BETWEEN x (+ a 1) (* b 2))"},
        {"a LIKE b || 'x' OR c", "(OR (LIKE a (|| b 'x')) c)"},
        {"x::int + 1", "(+ (cast int x) 1)"},
        {"-x::int", "(neg (cast int x))"},
        {"a + b AT TIME ZONE 'UTC'", "(+ a (AT TIME ZONE b 'UTC'))"},
        {"2 ^ 3 * 4", "(* (^ 2 3) 4)"},
        {"(a OR b) AND c", "(AND (paren (OR a b)) c)"},
        {"x IN (1, 2) = y IN (3)", "(= (IN x 1 2) (IN y 3))"},
    };
    for (const auto& c : cases) {
        ExprPtr e = parse_ok(c.in, Dialect::Postgres);
        if (e) {
            EXPECT_EQ(dump(*e), c.tree) << c.in;
        }
    }
}

TEST(ExprParse, NodeProperties) {
    ExprPtr e = parse_ok("analytics.\"Sum\"(DISTINCT amount, *, o.*, x => 1) FILTER (WHERE a OR b)", Dialect::Postgres);
    ASSERT_TRUE(e);
    const auto* f = e->as<Function>();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->name.size(), 2u);
    EXPECT_EQ(f->name[0], (Ident{"analytics", '\0'}));
    EXPECT_EQ(f->name[1], (Ident{"Sum", '"'}));
    EXPECT_EQ(f->form, ArgForm::List);
    EXPECT_EQ(f->quantifier, SetQuantifier::Distinct);
    ASSERT_EQ(f->args.size(), 4u);
    EXPECT_EQ(f->args[0].kind, FunctionArg::Kind::Expr);
    EXPECT_EQ(f->args[1].kind, FunctionArg::Kind::Wildcard);
    EXPECT_EQ(f->args[2].kind, FunctionArg::Kind::QualifiedWildcard);
    EXPECT_EQ(f->args[2].qualifier, (std::vector<Ident>{{"o", '\0'}}));
    ASSERT_TRUE(f->args[3].name);
    EXPECT_EQ(f->args[3].name->value, "x");
    ASSERT_TRUE(f->filter);
    ASSERT_NE(f->filter->as<Binary>(), nullptr);
    EXPECT_EQ(f->filter->as<Binary>()->op, BinaryOp::Or);

    ExprPtr none = parse_ok("CURRENT_DATE", Dialect::Snowflake);
    ASSERT_TRUE(none && none->as<Function>());
    EXPECT_EQ(none->as<Function>()->form, ArgForm::None);
    ExprPtr sub = parse_ok("ARRAY(SELECT 1)", Dialect::Postgres);
    ASSERT_TRUE(sub && sub->as<Function>());
    EXPECT_EQ(sub->as<Function>()->form, ArgForm::Subquery);

    ExprPtr q = parse_ok("[Order Total]", Dialect::SqlServer);
    ASSERT_TRUE(q && q->as<Identifier>());
    EXPECT_EQ(q->as<Identifier>()->name, (Ident{"Order Total", '['}));
    ExprPtr c = parse_ok("`a``b`.`c`", Dialect::Databricks);
    ASSERT_TRUE(c && c->as<CompoundIdentifier>());
    EXPECT_EQ(c->as<CompoundIdentifier>()->parts, (std::vector<Ident>{{"a`b", '`'}, {"c", '`'}}));
    // A parenthesised OR is not an OR at the top level.
    ExprPtr n = parse_ok("(a OR b)", Dialect::DuckDb);
    ASSERT_TRUE(n);
    EXPECT_TRUE(n->is<Nested>());
    // Under Databricks a double-quoted text is a string, elsewhere a name.
    EXPECT_TRUE(parse_ok("\"x\"", Dialect::Databricks)->is<StringLit>());
    EXPECT_TRUE(parse_ok("\"x\"", Dialect::Snowflake)->is<Identifier>());
}

TEST(ExprParse, DialectRefusals) {
    struct Case {
        Dialect d;
        const char* in;
        const char* error;  // a part of the description
    };
    const Case cases[] = {
        {Dialect::SqlServer, "x::int", "`::` cast is not supported"},
        {Dialect::SqlServer, "a || b", "operator `||` is not supported"},
        {Dialect::SqlServer, "a ILIKE 'x'", "ILIKE is not supported"},
        {Dialect::SqlServer, "COUNT(*) FILTER (WHERE a = 1)", "FILTER is not supported"},
        {Dialect::Snowflake, "COUNT(*) FILTER (WHERE a = 1)", "FILTER is not supported"},
        {Dialect::Snowflake, "a IS TRUE", "expected NULL or DISTINCT FROM after IS"},
        {Dialect::Postgres, "a <=> b", "operator `<=>` is not supported"},
        {Dialect::Postgres, "`a`", "unexpected character `"},
        {Dialect::Postgres, "[1, 2]", "expected an expression, found `[`"},
        {Dialect::Postgres, "a SIMILAR TO 'x' OR b RLIKE 'y'", "trailing RLIKE"},
        {Dialect::Databricks, "a SIMILAR TO 'x'", "SIMILAR TO is not supported"},
        {Dialect::Databricks, "x AT TIME ZONE 'UTC'", "AT TIME ZONE is not supported"},
        {Dialect::Snowflake, "string_agg(x, ',' ORDER BY y)", "ORDER BY inside a call is not supported"},
        {Dialect::SqlServer, "EXTRACT(year FROM d)", "expected `)`, found `FROM`"},
        {Dialect::SqlServer, "DATE '2024-01-01'", "trailing '2024-01-01'"},
        {Dialect::SqlServer, "$$x$$", "unexpected character `$`"},
        {Dialect::SqlServer, "(SELECT a FROM t LIMIT 1)", "LIMIT is not supported"},
        {Dialect::Postgres, "TRY_CAST(a AS int)", "expected `)`, found `AS`"},
        {Dialect::Postgres, "INTERVAL 1 DAY", "expected a quoted interval"},
        {Dialect::DuckDb, "a !< b", "operator `!<` is not supported"},
        {Dialect::Databricks, "f(a := 1)", "named argument `:=` is not supported"},
    };
    for (const auto& c : cases)
        EXPECT_NE(error_of(c.in, c.d).find(c.error), std::string::npos)
            << traits(c.d).name << ": " << c.in << "\n  got: " << error_of(c.in, c.d);
    // SQL Server has no boolean literals: TRUE is a name there.
    EXPECT_TRUE(parse_ok("TRUE", Dialect::SqlServer)->is<Identifier>());
    EXPECT_TRUE(parse_ok("TRUE", Dialect::DuckDb)->is<BoolLit>());
}

TEST(ExprParse, ErrorsSayWhatAndWhere) {
    struct Case {
        const char* in;
        const char* error;
    };
    const Case cases[] = {
        {"", "sql parser error: expected an expression, found end of input at line 1, column 1"},
        {"SUM(amount", "sql parser error: expected `)`, found end of input at line 1, column 11"},
        {"a +\n  * b", "sql parser error: expected an expression, found `*` at line 2, column 3"},
        {"'open", "sql parser error: unterminated string literal at line 1, column 1"},
        {"\"open", "sql parser error: unterminated quoted identifier at line 1, column 1"},
        {"a /* open", "sql parser error: unterminated comment at line 1, column 3"},
        {"é + 'x", "sql parser error: unterminated string literal at line 1, column 5"},
        {"1abc", "sql parser error: invalid number `1abc` at line 1, column 1"},
        {"a \\ b", "sql parser error: unexpected character `\\` at line 1, column 3"},
        {"a\x01", "sql parser error: unexpected character U+0001 at line 1, column 2"},
        {"ab\xff", "sql parser error: invalid UTF-8 at line 1, column 3"},
        {"\"\"", "sql parser error: empty quoted identifier at line 1, column 1"},
        {"CASE WHEN a THEN 1", "sql parser error: expected END, found end of input at line 1, column 19"},
        {"a IS 1", "sql parser error: expected NULL, TRUE, FALSE or DISTINCT FROM after IS, found `1`"},
        {"SELECT", "sql parser error: expected an expression, found `SELECT`"},
    };
    for (const auto& c : cases) {
        auto r = parse_expr(c.in, Dialect::Postgres);
        ASSERT_FALSE(r.ok()) << c.in;
        EXPECT_EQ(r.error().rfind(c.error, 0), 0u) << c.in << "\n  got: " << r.error();
    }
    // After a complete expression the next token is reported as written.
    auto r = parse_expr("SUM(amount) extra more", Dialect::DuckDb);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->next, std::optional<std::string>("extra"));
    auto q = parse_expr("a = 1 'it''s'", Dialect::DuckDb);
    ASSERT_TRUE(q.ok());
    EXPECT_EQ(q->next, std::optional<std::string>("'it''s'"));
}

TEST(ExprTree, WalkVisitsChildrenFirstIncludingSubqueries) {
    ExprPtr e = parse_ok("f(a) + (SELECT max(b) FROM t WHERE c > 1)", Dialect::DuckDb);
    ASSERT_TRUE(e);
    std::vector<std::string> seen;
    walk(*e, [&](const Expr& x) { seen.push_back(print(x)); });
    const std::vector<std::string> expected{
        "a", "f(a)", "b", "max(b)", "c", "1", "c > 1", "(SELECT max(b) FROM t WHERE c > 1)",
        "f(a) + (SELECT max(b) FROM t WHERE c > 1)"};
    EXPECT_EQ(seen, expected);
}

TEST(ExprTree, WalkReplacesNodes) {
    ExprPtr e = parse_ok("SUM(amount) / COUNT(DISTINCT id) + t.other + (SELECT amount FROM x)", Dialect::Postgres);
    ASSERT_TRUE(e);
    walk(e, [](ExprPtr& x) {
        if (auto* id = x->as<Identifier>(); id && (id->name.value == "amount" || id->name.value == "id"))
            x = compound({"orders", id->name.value}, '"');
    });
    EXPECT_EQ(print(*e),
              "SUM(\"orders\".\"amount\") / COUNT(DISTINCT \"orders\".\"id\") + t.other + "
              "(SELECT \"orders\".\"amount\" FROM x)");
}

TEST(ExprTree, Builders) {
    ExprPtr f1 = parse_ok("x = 1 OR y = 2", Dialect::DuckDb);
    ExprPtr f2 = parse_ok("z = 3", Dialect::DuckDb);
    ExprPtr f3 = parse_ok("a AND b", Dialect::DuckDb);
    ExprPtr f4 = parse_ok("(p OR q)", Dialect::DuckDb);
    ASSERT_TRUE(f1 && f2 && f3 && f4);
    EXPECT_EQ(print(*and_(copy(*f1), copy(*f2))), "(x = 1 OR y = 2) AND z = 3");
    EXPECT_EQ(print(*and_(copy(*f2), copy(*f1))), "z = 3 AND (x = 1 OR y = 2)");
    EXPECT_EQ(print(*and_(copy(*f2), copy(*f3))), "z = 3 AND a AND b");
    EXPECT_EQ(print(*and_(and_(copy(*f2), copy(*f3)), copy(*f2))), "z = 3 AND a AND b AND z = 3");
    EXPECT_EQ(print(*and_(copy(*f4), copy(*f2))), "(p OR q) AND z = 3");  // author's parentheses, no second pair
    // What is printed reads back as the conjunction that was built.
    ExprPtr built = and_(copy(*f1), copy(*f2));
    ExprPtr back = parse_ok(print(*built), Dialect::DuckDb);
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->as<Binary>());
    EXPECT_EQ(back->as<Binary>()->op, BinaryOp::And);

    EXPECT_EQ(print(*case_when(copy(*f2), number("1"))), "CASE WHEN z = 3 THEN 1 END");
    EXPECT_EQ(print(*compound({"orders", "a]b"}, '[')), "[orders].[a]]b]");
    EXPECT_EQ(print(*compound({"orders", "a`b"}, '`')), "`orders`.`a``b`");
    EXPECT_EQ(print(*compound({"orders", "a\"b"}, '"')), "\"orders\".\"a\"\"b\"");

    ExprPtr original = parse_ok("f(a, b)", Dialect::DuckDb);
    ExprPtr dup = copy(*original);
    EXPECT_TRUE(*dup == *original);
    dup->as<Function>()->args.pop_back();
    EXPECT_EQ(print(*original), "f(a, b)");
    EXPECT_EQ(print(*dup), "f(a)");
    EXPECT_FALSE(*dup == *original);
}

TEST(ExprRobustness, DeepNestingIsRefused) {
    auto deep = [](std::string open, std::string mid, std::string close, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += open;
        s += mid;
        for (int i = 0; i < n; ++i) s += close;
        return s;
    };
    const std::string inputs[] = {
        deep("(", "1", ")", 100000),
        deep("f(", "1", ")", 50000),
        deep("NOT ", "a", "", 100000),
        deep("-", "1", "", 100000),
        deep("", "1", " + 1", 200000),
        deep("CASE WHEN ", "a", " THEN 1 END", 20000),
        deep("(SELECT ", "1", ")", 20000),
        deep("a[", "1", "]", 50000),
        deep("", "x", "::int", 100000),
    };
    for (Dialect d : kAll) {
        for (const auto& in : inputs) {
            auto r = parse_expr(in, d);
            if (r.ok()) continue;  // some are not valid in every dialect; none may crash
            EXPECT_EQ(r.error().rfind("sql parser error: ", 0), 0u);
        }
        auto r = parse_expr(inputs[0], d);
        ASSERT_FALSE(r.ok());
        EXPECT_NE(r.error().find("nested too deeply"), std::string::npos) << r.error();
    }
    // Moderate nesting is fine and round-trips.
    expect_round_trip(deep("(", "1", ")", 50), Dialect::Postgres);
    expect_round_trip(deep("", "1", " + 1", 300), Dialect::Postgres);
}

TEST(ExprRobustness, RandomAndMutatedInputsNeverCrash) {
    std::mt19937 rng(20240611);
    std::vector<std::string> seeds;
    for (Dialect d : kAll)
        for (auto& line : corpus(d)) seeds.push_back(line);
    ASSERT_FALSE(seeds.empty());
    const std::string alphabet = "abcSELECTFROMWHERE()[]{}'\"`$:;,.*+-/%^&|~#!<>=?@\\ \n\t0123456789eE_\xc3\xa9\xff\x80";
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    int parsed = 0;
    for (int round = 0; round < 12000; ++round) {
        std::string s;
        if (round % 3 == 0) {
            std::size_t len = pick(40);
            for (std::size_t i = 0; i < len; ++i) s += alphabet[pick(alphabet.size())];
        } else {
            s = seeds[pick(seeds.size())];
            int edits = 1 + static_cast<int>(pick(4));
            for (int k = 0; k < edits && !s.empty(); ++k) {
                std::size_t at = pick(s.size());
                switch (pick(4)) {
                    case 0: s.erase(at, 1 + pick(3)); break;
                    case 1: s.insert(at, 1, alphabet[pick(alphabet.size())]); break;
                    case 2: s[at] = alphabet[pick(alphabet.size())]; break;
                    default: s.insert(at, s.substr(pick(s.size()), 1 + pick(8))); break;
                }
            }
        }
        Dialect d = kAll[pick(5)];
        auto r = parse_expr(s, d);
        if (!r.ok()) {
            ASSERT_EQ(r.error().rfind("sql parser error: ", 0), 0u) << s;
            continue;
        }
        if (r->next) continue;
        ++parsed;
        expect_round_trip(s, d);
        if (HasFailure()) FAIL() << traits(d).name << " input: " << s;
    }
    EXPECT_GT(parsed, 1000);  // the mutations keep a good share of the inputs valid
}
