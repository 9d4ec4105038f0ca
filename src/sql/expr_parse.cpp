// Recursive descent with precedence climbing for binary operators. Every dialect shares
// one precedence table; what a dialect lacks is refused where it would be read.
#include <array>
#include <cstring>

#include <fmt/format.h>

#include "sql/expr.h"
#include "sql/expr_lex.h"
#include "sql/expr_prec.h"

namespace korvel::sql {

namespace {

struct SyntaxError {
    std::string message;
};

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

template <std::size_t N>
bool in_list(std::string_view word, const std::array<std::string_view, N>& list) {
    for (auto w : list)
        if (iequals(word, w)) return true;
    return false;
}

// Words that never name a column in an expression.
constexpr std::array<std::string_view, 36> kReserved{
    "SELECT", "FROM",  "WHERE",     "GROUP",  "HAVING", "ORDER", "LIMIT",  "UNION", "EXCEPT",
    "INTERSECT", "JOIN", "INNER",   "OUTER",  "CROSS",  "ON",    "USING",  "AS",    "AND",
    "OR",     "IS",    "IN",        "BETWEEN", "LIKE",  "ILIKE", "CASE",   "WHEN",  "THEN",
    "ELSE",   "END",   "DISTINCT",  "ALL",    "WITH",   "NOT",   "NULL",   "ESCAPE", "NATURAL"};

// Words that cannot be a bare alias after a select item or a table.
constexpr std::array<std::string_view, 24> kNotAlias{
    "LEFT",  "RIGHT", "FULL",   "OVER",   "FILTER", "WITHIN", "QUALIFY", "WINDOW",
    "OFFSET", "FETCH", "ASC",   "DESC",   "NULLS",  "COLLATE", "TOP",    "RLIKE",
    "REGEXP", "SIMILAR", "GLOB", "MINUS", "LATERAL", "DIV",    "AT",     "TABLESAMPLE"};

constexpr std::array<std::string_view, 8> kTypedLiteralTypes{
    "DATE", "TIME", "TIMESTAMP", "TIMESTAMPTZ", "TIMESTAMP_NTZ", "TIMESTAMP_LTZ", "TIMESTAMP_TZ",
    "DATETIME"};

constexpr std::array<std::string_view, 9> kNiladic{
    "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "LOCALTIME", "LOCALTIMESTAMP",
    "CURRENT_USER", "SESSION_USER", "CURRENT_ROLE", "CURRENT_CATALOG"};

constexpr std::array<std::string_view, 22> kIntervalUnits{
    "YEAR",   "YEARS",   "QUARTER", "QUARTERS", "MONTH",       "MONTHS",       "WEEK",  "WEEKS",
    "DAY",    "DAYS",    "HOUR",    "HOURS",    "MINUTE",      "MINUTES",      "SECOND", "SECONDS",
    "MILLISECOND", "MILLISECONDS", "MICROSECOND", "MICROSECONDS", "DECADE", "CENTURY"};

class Parser {
public:
    Parser(std::string_view src, std::vector<Token> toks, const Grammar& g)
        : src_(src), toks_(std::move(toks)), g_(g) {}

    ParsedExpr parse_one() {
        ParsedExpr out;
        out.expr = expr(kLowest);
        const Token& t = peek();
        if (t.kind != TokenKind::End) out.next = std::string(t.text);
        return out;
    }

private:
    // ---- token access ----
    const Token& peek(std::size_t k = 0) const {
        std::size_t i = pos_ + k;
        return i < toks_.size() ? toks_[i] : toks_.back();
    }
    const Token& advance() {
        const Token& t = toks_[pos_];
        if (pos_ + 1 < toks_.size()) ++pos_;
        return t;
    }
    bool op_at(std::string_view op, std::size_t k = 0) const {
        const Token& t = peek(k);
        return t.kind == TokenKind::Op && t.text == op;
    }
    bool kw_at(std::string_view kw, std::size_t k = 0) const {
        const Token& t = peek(k);
        return t.kind == TokenKind::Word && iequals(t.text, kw);
    }
    bool accept_op(std::string_view op) {
        if (!op_at(op)) return false;
        advance();
        return true;
    }
    bool accept_kw(std::string_view kw) {
        if (!kw_at(kw)) return false;
        advance();
        return true;
    }
    void expect_op(std::string_view op) {
        if (!accept_op(op)) fail_expected(fmt::format("`{}`", op));
    }
    void expect_kw(std::string_view kw) {
        if (!accept_kw(kw)) fail_expected(kw);
    }
    [[noreturn]] void fail_at(const Token& t, std::string_view what) const {
        throw SyntaxError{fmt::format("sql parser error: {} at {}", what, describe_position(src_, t.offset))};
    }
    [[noreturn]] void fail_expected(std::string_view what) const {
        const Token& t = peek();
        std::string found;
        if (t.kind == TokenKind::End) {
            found = "end of input";
        } else if (t.text.size() > 40) {
            std::size_t cut = 40;
            while (cut > 0 && (static_cast<unsigned char>(t.text[cut]) & 0xC0) == 0x80) --cut;
            found = fmt::format("`{}...`", t.text.substr(0, cut));
        } else {
            found = fmt::format("`{}`", t.text);
        }
        fail_at(t, fmt::format("expected {}, found {}", what, found));
    }
    [[noreturn]] void unsupported(const Token& t, std::string_view what) const {
        fail_at(t, fmt::format("{} is not supported in this dialect", what));
    }

    // ---- nesting guard: recursion depth plus chained operators, so that neither the
    // parser nor the recursive passes over the finished tree can exhaust the stack ----
    struct Nest {
        Parser& p;
        int saved_budget;
        explicit Nest(Parser& parser) : p(parser), saved_budget(parser.budget_) {
            if (++p.depth_ > kMaxDepth) p.fail_at(p.peek(), "expression nested too deeply");
            p.bump();
        }
        ~Nest() {
            --p.depth_;
            p.budget_ = saved_budget;
        }
    };
    void bump() {
        if (++budget_ > kMaxChain) fail_at(peek(), "expression nested too deeply");
    }

    // ---- names ----
    bool name_token(std::size_t k = 0) const {
        const Token& t = peek(k);
        return t.kind == TokenKind::Word || t.kind == TokenKind::QuotedIdent;
    }
    Ident ident_of(const Token& t) const {
        if (t.kind != TokenKind::QuotedIdent) return Ident{std::string(t.text), '\0'};
        char open = t.text.front();
        char close = t.text.back();
        std::string value;
        std::string_view inner = t.text.substr(1, t.text.size() - 2);
        value.reserve(inner.size());
        for (std::size_t i = 0; i < inner.size(); ++i) {
            value += inner[i];
            if (inner[i] == close) ++i;  // doubled closing quote
        }
        return Ident{std::move(value), open};
    }
    Ident name() {
        if (!name_token()) fail_expected("a name");
        return ident_of(advance());
    }
    // A bare alias or a quoted one; AS may precede it.
    std::optional<Ident> alias() {
        if (accept_kw("AS")) return name();
        const Token& t = peek();
        if (t.kind == TokenKind::QuotedIdent) return ident_of(advance());
        if (t.kind == TokenKind::Word && !in_list(t.text, kReserved) && !in_list(t.text, kNotAlias) &&
            !(g_.limit && iequals(t.text, "LIMIT")))
            return ident_of(advance());
        return std::nullopt;
    }

    // ---- expressions ----
    ExprPtr expr(int min) {
        Nest nest(*this);
        ExprPtr left = prefix();
        while (true) {
            ExprPtr next = infix(left, min);
            if (!next) break;
            left = std::move(next);
            bump();
        }
        return left;
    }

    static ExprPtr node(Expr::Node n) { return ExprPtr(Expr{std::move(n)}); }

    // Binary operator spelled by the token, when the dialect has it.
    std::optional<BinaryOp> binary_op(const Token& t) const {
        if (t.kind == TokenKind::Word) {
            if (iequals(t.text, "OR")) return BinaryOp::Or;
            if (iequals(t.text, "AND")) return BinaryOp::And;
            if (g_.div_keyword && iequals(t.text, "DIV")) return BinaryOp::Div;
            return std::nullopt;
        }
        if (t.kind != TokenKind::Op) return std::nullopt;
        std::string_view s = t.text;
        struct Entry {
            std::string_view text;
            BinaryOp op;
            bool allowed;
        };
        const Entry table[] = {
            {"=", BinaryOp::Eq, true},
            {"==", BinaryOp::EqEq, g_.double_eq},
            {"<>", BinaryOp::NotEq, true},
            {"!=", BinaryOp::BangEq, true},
            {"<=>", BinaryOp::NullSafeEq, g_.null_safe_eq},
            {"<", BinaryOp::Lt, true},
            {"<=", BinaryOp::LtEq, true},
            {">", BinaryOp::Gt, true},
            {">=", BinaryOp::GtEq, true},
            {"!<", BinaryOp::NotLt, g_.not_lt_gt},
            {"!>", BinaryOp::NotGt, g_.not_lt_gt},
            {"+", BinaryOp::Plus, true},
            {"-", BinaryOp::Minus, true},
            {"*", BinaryOp::Star, true},
            {"/", BinaryOp::Slash, true},
            {"%", BinaryOp::Percent, true},
            {"//", BinaryOp::SlashSlash, g_.slash_slash_div},
            {"^", BinaryOp::Caret, g_.caret != CaretOp::None},
            {"**", BinaryOp::StarStar, g_.star_star_pow},
            {"||", BinaryOp::Concat, g_.pipe_concat},
            {"&", BinaryOp::Amp, g_.bitwise},
            {"|", BinaryOp::Pipe, g_.bitwise},
            {"#", BinaryOp::Hash, g_.hash_operators},
            {"<<", BinaryOp::ShiftLeft, g_.shifts},
            {">>", BinaryOp::ShiftRight, g_.shifts},
            {"->", BinaryOp::Arrow, g_.json_arrows},
            {"->>", BinaryOp::LongArrow, g_.json_arrows},
            {"#>", BinaryOp::HashArrow, g_.hash_operators},
            {"#>>", BinaryOp::HashLongArrow, g_.hash_operators},
            {"@>", BinaryOp::AtGt, g_.containment},
            {"<@", BinaryOp::LtAt, g_.containment},
            {"&&", BinaryOp::AmpAmp, g_.containment},
            {"~", BinaryOp::Tilde, g_.regex_tilde},
            {"~*", BinaryOp::TildeStar, g_.regex_tilde},
            {"!~", BinaryOp::BangTilde, g_.regex_tilde},
            {"!~*", BinaryOp::BangTildeStar, g_.regex_tilde},
            {"?", BinaryOp::Question, g_.hash_operators},
            {"?|", BinaryOp::QuestionPipe, g_.hash_operators},
            {"?&", BinaryOp::QuestionAmp, g_.hash_operators},
        };
        for (const auto& e : table) {
            if (e.text == s) {
                if (!e.allowed) unsupported(t, fmt::format("the operator `{}`", s));
                return e.op;
            }
        }
        return std::nullopt;
    }

    std::optional<LikeOp> like_op(std::size_t k) const {
        const Token& t = peek(k);
        if (t.kind != TokenKind::Word) return std::nullopt;
        if (iequals(t.text, "LIKE")) return LikeOp::Like;
        if (iequals(t.text, "ILIKE")) {
            if (!g_.ilike) unsupported(t, "ILIKE");
            return LikeOp::ILike;
        }
        if (iequals(t.text, "SIMILAR") && kw_at("TO", k + 1)) {
            if (!g_.similar_to) unsupported(t, "SIMILAR TO");
            return LikeOp::SimilarTo;
        }
        if (g_.rlike && iequals(t.text, "RLIKE")) return LikeOp::RLike;
        if (g_.rlike && iequals(t.text, "REGEXP")) return LikeOp::Regexp;
        if (g_.glob && iequals(t.text, "GLOB")) return LikeOp::Glob;
        return std::nullopt;
    }

    // One step of the operator loop: the extended expression, or null when `left` is complete
    // at this binding level.
    ExprPtr infix(ExprPtr& left, int min) {
        const Token& t = peek();
        // Postfix operators bind tightest.
        if (t.kind == TokenKind::Op) {
            if (t.text == "::") {
                if (!g_.double_colon_cast) unsupported(t, "the `::` cast");
                advance();
                return node(Cast{CastKind::DoubleColon, std::move(left), data_type()});
            }
            if (t.text == "[" && g_.subscripts) return subscript(left);
            if (t.text == ":" && g_.colon_paths && name_token(1)) return path(left);
            if (t.text == "." && g_.field_access && name_token(1) &&
                (left->is<Nested>() || left->is<Function>() || left->is<Subscript>() || left->is<FieldAccess>() ||
                 left->is<StructLit>())) {
                advance();
                return node(FieldAccess{std::move(left), name()});
            }
        }
        if (t.kind == TokenKind::Word) {
            if (iequals(t.text, "COLLATE") && min <= kCollateLevel) {
                advance();
                const Token& c = peek();
                if (c.kind != TokenKind::Word && c.kind != TokenKind::QuotedIdent && c.kind != TokenKind::String)
                    fail_expected("a collation name");
                std::string collation(advance().text);
                while (op_at(".") && name_token(1)) {
                    advance();
                    collation += '.';
                    collation += advance().text;
                }
                return node(Collate{std::move(left), std::move(collation)});
            }
            if (iequals(t.text, "AT") && kw_at("TIME", 1) && kw_at("ZONE", 2) && min <= kAtTimeZoneLevel) {
                if (!g_.at_time_zone) unsupported(t, "AT TIME ZONE");
                advance();
                advance();
                advance();
                return node(AtTimeZone{std::move(left), expr(kAtTimeZoneLevel + 1)});
            }
            if (iequals(t.text, "IS") && min <= kIsLevel) return is_test(left);
            if (g_.isnull_postfix && min <= kIsLevel && (iequals(t.text, "ISNULL") || iequals(t.text, "NOTNULL"))) {
                bool negated = iequals(advance().text, "NOTNULL");
                return node(IsTest{std::move(left), negated, IsTest::What::Null});
            }
            bool negated = iequals(t.text, "NOT");
            std::size_t k = negated ? 1 : 0;
            if (min <= kPredicateLevel) {
                if (kw_at("IN", k)) {
                    pos_ += k + 1;
                    return in_pred(left, negated);
                }
                if (kw_at("BETWEEN", k)) {
                    pos_ += k + 1;
                    bool symmetric = g_.between_symmetric && accept_kw("SYMMETRIC");
                    ExprPtr low = expr(kPredicateLevel + 1);
                    expect_kw("AND");
                    ExprPtr high = expr(kPredicateLevel + 1);
                    return node(Between{std::move(left), negated, symmetric, std::move(low), std::move(high)});
                }
                if (auto op = like_op(k)) {
                    pos_ += k + 1;
                    if (*op == LikeOp::SimilarTo) advance();  // TO
                    ExprPtr pattern = expr(kPredicateLevel + 1);
                    ExprPtr escape;
                    if (accept_kw("ESCAPE")) escape = expr(kPredicateLevel + 1);
                    return node(Like{std::move(left), negated, *op, std::move(pattern), std::move(escape)});
                }
            }
            if (negated) return nullptr;
        }
        auto op = binary_op(t);
        if (!op) return nullptr;
        int level = binary_level(*op);
        if (level < min) return nullptr;
        advance();
        ExprPtr right = expr(level + 1);
        return node(Binary{*op, std::move(left), std::move(right)});
    }

    ExprPtr is_test(ExprPtr& left) {
        advance();  // IS
        bool negated = accept_kw("NOT");
        const Token& t = peek();
        if (accept_kw("NULL")) return node(IsTest{std::move(left), negated, IsTest::What::Null});
        if (g_.is_true_false && accept_kw("TRUE")) return node(IsTest{std::move(left), negated, IsTest::What::True});
        if (g_.is_true_false && accept_kw("FALSE")) return node(IsTest{std::move(left), negated, IsTest::What::False});
        if (g_.is_unknown && accept_kw("UNKNOWN"))
            return node(IsTest{std::move(left), negated, IsTest::What::Unknown});
        if (accept_kw("DISTINCT")) {
            expect_kw("FROM");
            return node(IsDistinctFrom{std::move(left), expr(kIsLevel + 1), negated});
        }
        (void)t;
        fail_expected(g_.is_true_false ? "NULL, TRUE, FALSE or DISTINCT FROM after IS" : "NULL or DISTINCT FROM after IS");
    }

    bool query_ahead(std::size_t k = 0) const { return kw_at("SELECT", k) || kw_at("WITH", k); }

    ExprPtr in_pred(ExprPtr& left, bool negated) {
        expect_op("(");
        if (query_ahead()) {
            QueryPtr q = query();
            expect_op(")");
            return node(InSubquery{std::move(left), negated, std::move(q)});
        }
        ExprList list = expr_list();
        expect_op(")");
        return node(InList{std::move(left), negated, std::move(list)});
    }

    ExprList expr_list() {
        ExprList out;
        do {
            out.push_back(expr(kLowest));
        } while (accept_op(","));
        return out;
    }

    ExprPtr subscript(ExprPtr& left) {
        advance();  // [
        Subscript s;
        s.base = std::move(left);
        if (!op_at(":") && !op_at("]")) s.index = expr(kLowest);
        if (accept_op(":")) {
            s.slice = true;
            if (!op_at("]")) s.end = expr(kLowest);
        }
        if (!s.index && !s.slice) fail_expected("an index");
        expect_op("]");
        return node(std::move(s));
    }

    ExprPtr path(ExprPtr& left) {
        advance();  // :
        PathAccess p;
        p.base = std::move(left);
        p.steps.push_back(PathStep{name(), nullptr});
        while (true) {
            if (op_at(".") && name_token(1)) {
                advance();
                p.steps.push_back(PathStep{name(), nullptr});
            } else if (op_at("[")) {
                advance();
                p.steps.push_back(PathStep{std::nullopt, expr(kLowest)});
                expect_op("]");
            } else {
                break;
            }
        }
        return node(std::move(p));
    }

    // ---- data types: kept as written with canonical spacing ----
    static bool glue_before(std::string_view cur) {
        return cur == ")" || cur == ">" || cur == "," || cur == "(" || cur == "[" || cur == "]" ||
               cur == "." || cur == ":" || cur == ">>";
    }
    static bool glue_after(std::string_view prev) { return prev == "(" || prev == "<" || prev == "[" || prev == "."; }
    void append_type_token(std::string& out, std::string_view prev, std::string_view cur) const {
        if (!out.empty() && !glue_before(cur) && !glue_after(prev)) out += ' ';
        out += cur;
    }
    // Balanced run from an opening ( or < to its closing partner.
    void type_group(std::string& out, std::string_view& prev) {
        int depth = 0;
        do {
            const Token& t = peek();
            if (t.kind == TokenKind::End) fail_expected("the end of the type");
            std::string_view s = t.text;
            if (t.kind == TokenKind::Op) {
                for (char c : s) {
                    if (c == '(' || c == '<') ++depth;
                    if (c == ')' || c == '>') --depth;
                }
                if (depth < 0) fail_expected("a type");
            }
            if (s == ",") {
                out += ", ";
            } else if (s == ":" && t.kind == TokenKind::Op) {
                out += ": ";
            } else {
                if (prev == "," || prev == ":")
                    out += s;
                else
                    append_type_token(out, prev, s);
            }
            prev = s;
            advance();
        } while (depth > 0);
    }
    DataType data_type() {
        Nest nest(*this);
        if (!name_token()) fail_expected("a type name");
        std::string text(advance().text);
        std::string_view first = text;
        std::string_view prev = text;
        while (op_at(".") && name_token(1)) {
            advance();
            text += '.';
            text += advance().text;
        }
        auto zone_suffix = [&]() {
            if ((kw_at("WITH") || kw_at("WITHOUT")) &&
                (kw_at("TIME", 1) || (kw_at("LOCAL", 1) && kw_at("TIME", 2)))) {
                text += ' ';
                text += advance().text;  // WITH / WITHOUT
                if (kw_at("LOCAL")) {
                    text += ' ';
                    text += advance().text;
                }
                text += ' ';
                text += advance().text;  // TIME
                if (!kw_at("ZONE")) fail_expected("ZONE");
                text += ' ';
                text += advance().text;
                prev = "ZONE";
            }
        };
        if ((iequals(first, "DOUBLE") && kw_at("PRECISION")) ||
            ((iequals(first, "CHARACTER") || iequals(first, "CHAR") || iequals(first, "BIT") ||
              iequals(first, "NATIONAL")) &&
             (kw_at("VARYING") || kw_at("CHARACTER") || kw_at("CHAR")))) {
            text += ' ';
            text += advance().text;
            if (kw_at("VARYING")) {
                text += ' ';
                text += advance().text;
            }
        }
        if (op_at("(")) type_group(text, prev);
        if (op_at("<") && g_.angle_types) type_group(text, prev);
        zone_suffix();
        while (g_.array_constructor && op_at("[")) {
            advance();
            text += '[';
            if (peek().kind == TokenKind::Number) text += advance().text;
            expect_op("]");
            text += ']';
        }
        return DataType{std::move(text)};
    }

    // ---- primaries ----
    ExprPtr prefix() {
        const Token& t = peek();
        switch (t.kind) {
            case TokenKind::End:
                fail_expected("an expression");
            case TokenKind::Number:
                return node(NumberLit{std::string(advance().text)});
            case TokenKind::String:
                return node(StringLit{std::string(advance().text)});
            case TokenKind::QuotedIdent:
                return name_chain();
            case TokenKind::Word:
                return word();
            case TokenKind::Op:
                break;
        }
        if (t.text == "(") return paren();
        if (t.text == "-" || t.text == "+") {
            advance();
            UnaryOp op = t.text == "-" ? UnaryOp::Minus : UnaryOp::Plus;
            return node(Unary{op, expr(kUnaryLevel)});
        }
        if (t.text == "~") {
            if (!g_.bitwise) unsupported(t, "the operator `~`");
            advance();
            return node(Unary{UnaryOp::BitNot, expr(kUnaryLevel)});
        }
        if (t.text == "{" && g_.struct_literal) {
            advance();
            StructLit st;
            if (!op_at("}")) {
                do {
                    const Token& k = peek();
                    if (k.kind != TokenKind::String && k.kind != TokenKind::Word && k.kind != TokenKind::QuotedIdent)
                        fail_expected("a field name");
                    std::string key(advance().text);
                    expect_op(":");
                    st.fields.push_back(StructField{std::move(key), expr(kLowest)});
                } while (accept_op(","));
            }
            expect_op("}");
            return node(std::move(st));
        }
        if (t.text == "[" && g_.list_literal) {
            advance();
            ArrayLit a;
            a.keyword = false;
            if (!op_at("]")) a.items = expr_list();
            expect_op("]");
            return node(std::move(a));
        }
        fail_expected("an expression");
    }

    ExprPtr paren() {
        advance();  // (
        if (query_ahead()) {
            QueryPtr q = query();
            expect_op(")");
            return node(Subquery{std::move(q)});
        }
        if (g_.lambdas && lambda_ahead()) {
            ExprPtr l = lambda();
            return l;
        }
        ExprPtr first = expr(kLowest);
        if (accept_op(",")) {
            Tuple tuple;
            tuple.items.push_back(std::move(first));
            ExprList rest = expr_list();
            for (auto& e : rest) tuple.items.push_back(std::move(e));
            expect_op(")");
            return node(std::move(tuple));
        }
        expect_op(")");
        return node(Nested{std::move(first)});
    }

    // After an opening parenthesis: (a, b) -> ...
    bool lambda_ahead() const {
        std::size_t k = 0;
        while (true) {
            if (peek(k).kind != TokenKind::Word) return false;
            ++k;
            if (op_at(")", k)) return op_at("->", k + 1);
            if (!op_at(",", k)) return false;
            ++k;
        }
    }
    // Parses the parameter list after "(" (parenthesized) and the body.
    ExprPtr lambda() {
        Lambda l;
        l.parenthesized = true;
        do {
            l.params.push_back(name());
        } while (accept_op(","));
        expect_op(")");
        expect_op("->");
        l.body = expr(kLowest);
        return node(std::move(l));
    }

    ExprPtr word() {
        const Token& t = peek();
        std::string_view w = t.text;
        bool call = op_at("(", 1);
        if (iequals(w, "NOT")) {
            advance();
            return node(Unary{UnaryOp::Not, expr(kNotLevel)});
        }
        if (iequals(w, "NULL")) {
            advance();
            return node(NullLit{});
        }
        if (g_.boolean_literals && (iequals(w, "TRUE") || iequals(w, "FALSE"))) {
            advance();
            return node(BoolLit{iequals(w, "TRUE")});
        }
        if (iequals(w, "CASE")) return case_expr();
        if (iequals(w, "CAST") && call) return cast(CastKind::Cast);
        if (iequals(w, "TRY_CAST") && call && g_.try_cast) return cast(CastKind::TryCast);
        if (iequals(w, "EXISTS") && call && query_ahead(2)) {
            advance();
            advance();
            if (!query_ahead()) fail_expected("a subquery");
            QueryPtr q = query();
            expect_op(")");
            return node(Exists{std::move(q)});
        }
        if (iequals(w, "INTERVAL") && g_.interval &&
            (peek(1).kind == TokenKind::String || peek(1).kind == TokenKind::Number || op_at("(", 1) ||
             (op_at("-", 1) && peek(2).kind == TokenKind::Number && in_list(peek(3).text, kIntervalUnits))))
            return interval();
        if (iequals(w, "EXTRACT") && call && g_.extract) return extract();
        if (iequals(w, "ARRAY") && op_at("[", 1) && g_.array_constructor) {
            advance();
            advance();
            ArrayLit a;
            if (!op_at("]")) a.items = expr_list();
            expect_op("]");
            return node(std::move(a));
        }
        if (g_.typed_literals && peek(1).kind == TokenKind::String && in_list(w, kTypedLiteralTypes)) {
            std::string type(advance().text);
            return node(TypedLit{std::move(type), std::string(advance().text)});
        }
        if (!call && in_list(w, kNiladic) && !op_at(".", 1)) {
            Function f;
            f.name.push_back(ident_of(advance()));
            f.form = ArgForm::None;
            return node(std::move(f));
        }
        if (g_.lambdas && op_at("->", 1) && lambda_context_) {
            Lambda l;
            l.params.push_back(name());
            advance();  // ->
            l.body = expr(kLowest);
            return node(std::move(l));
        }
        if (in_list(w, kReserved) && !(call && (iequals(w, "ALL") || iequals(w, "LEFT")))) fail_expected("an expression");
        return name_chain();
    }

    ExprPtr name_chain() {
        std::vector<Ident> parts;
        parts.push_back(ident_of(advance()));
        while (op_at(".") && name_token(1)) {
            advance();
            parts.push_back(ident_of(advance()));
        }
        if (op_at("(")) return call(std::move(parts));
        if (parts.size() == 1) return node(Identifier{std::move(parts[0])});
        return node(CompoundIdentifier{std::move(parts)});
    }

    ExprPtr case_expr() {
        advance();  // CASE
        Case c;
        if (!kw_at("WHEN")) c.operand = expr(kLowest);
        if (!kw_at("WHEN")) fail_expected("WHEN");
        while (accept_kw("WHEN")) {
            WhenClause w;
            w.condition = expr(kLowest);
            expect_kw("THEN");
            w.result = expr(kLowest);
            c.whens.push_back(std::move(w));
        }
        if (accept_kw("ELSE")) c.else_result = expr(kLowest);
        expect_kw("END");
        return node(std::move(c));
    }

    ExprPtr cast(CastKind kind) {
        advance();
        advance();  // (
        ExprPtr e = expr(kLowest);
        expect_kw("AS");
        DataType type = data_type();
        expect_op(")");
        return node(Cast{kind, std::move(e), std::move(type)});
    }

    ExprPtr interval() {
        advance();  // INTERVAL
        IntervalLit iv;
        const Token& t = peek();
        if (t.kind == TokenKind::String) {
            iv.value = node(StringLit{std::string(advance().text)});
        } else if (!g_.interval_bare_value) {
            fail_expected("a quoted interval");
        } else if (t.kind == TokenKind::Number) {
            iv.value = node(NumberLit{std::string(advance().text)});
        } else if (op_at("-") && peek(1).kind == TokenKind::Number) {
            advance();
            iv.value = node(Unary{UnaryOp::Minus, node(NumberLit{std::string(advance().text)})});
        } else if (op_at("(")) {
            iv.value = paren();
        } else {
            fail_expected("an interval value");
        }
        if (peek().kind == TokenKind::Word && in_list(peek().text, kIntervalUnits)) {
            iv.unit = upper(advance().text);
            if (kw_at("TO") && in_list(peek(1).text, kIntervalUnits)) {
                advance();
                iv.to_unit = upper(advance().text);
            }
        } else if (!iv.value->is<StringLit>()) {
            fail_expected("an interval unit");
        }
        return node(std::move(iv));
    }

    ExprPtr extract() {
        advance();
        advance();  // (
        const Token& f = peek();
        if (f.kind != TokenKind::Word && f.kind != TokenKind::String && f.kind != TokenKind::QuotedIdent)
            fail_expected("a date part");
        std::string field(advance().text);
        expect_kw("FROM");
        ExprPtr e = expr(kLowest);
        expect_op(")");
        return node(Extract{std::move(field), std::move(e)});
    }

    // ---- calls ----
    bool qualified_wildcard_ahead() const {
        std::size_t k = 0;
        if (!name_token(k)) return false;
        while (true) {
            ++k;
            if (!op_at(".", k)) return false;
            ++k;
            if (op_at("*", k)) return true;
            if (!name_token(k)) return false;
        }
    }
    std::vector<Ident> qualified_wildcard() {
        std::vector<Ident> q;
        while (!op_at("*")) {
            q.push_back(ident_of(advance()));
            advance();  // .
        }
        advance();  // *
        return q;
    }

    FunctionArg argument() {
        FunctionArg a;
        if (op_at("*")) {
            advance();
            a.kind = FunctionArg::Kind::Wildcard;
            return a;
        }
        if (qualified_wildcard_ahead()) {
            a.kind = FunctionArg::Kind::QualifiedWildcard;
            a.qualifier = qualified_wildcard();
            return a;
        }
        if (name_token() && (op_at("=>", 1) || op_at(":=", 1))) {
            bool arrow = op_at("=>", 1);
            if (arrow ? !g_.arrow_named_args : !g_.walrus_named_args)
                unsupported(peek(1), fmt::format("the named argument `{}`", peek(1).text));
            a.name = ident_of(advance());
            a.name_op = arrow ? NamedArgOp::Arrow : NamedArgOp::Walrus;
            advance();
        }
        bool saved = lambda_context_;
        lambda_context_ = true;
        a.expr = expr(kLowest);
        lambda_context_ = saved;
        return a;
    }

    std::vector<OrderItem> order_items() {
        std::vector<OrderItem> items;
        do {
            OrderItem o;
            o.expr = expr(kLowest);
            if (accept_kw("ASC")) o.asc = true;
            else if (accept_kw("DESC")) o.asc = false;
            if (kw_at("NULLS") && (kw_at("FIRST", 1) || kw_at("LAST", 1))) {
                advance();
                o.nulls_first = iequals(advance().text, "FIRST");
            }
            items.push_back(std::move(o));
        } while (accept_op(","));
        return items;
    }

    // Calls whose arguments are separated by keywords.
    std::optional<ExprPtr> special_call(const std::vector<Ident>& parts, std::vector<FunctionArg>& args) {
        if (parts.size() != 1 || parts[0].quote != '\0') return std::nullopt;
        std::string_view n = parts[0].value;
        SpecialCall sc;
        sc.name = parts[0].value;
        auto finish = [&]() {
            expect_op(")");
            return node(std::move(sc));
        };
        auto keyword_args = [&](std::initializer_list<std::string_view> kws) {
            bool any = true;
            while (any) {
                any = false;
                for (auto kw : kws) {
                    if (kw_at(kw)) {
                        advance();
                        sc.args.push_back(SpecialArg{std::string(kw), expr(kLowest)});
                        any = true;
                    }
                }
            }
        };
        if (iequals(n, "TRIM")) {
            if (kw_at("BOTH") || kw_at("LEADING") || kw_at("TRAILING")) {
                std::string where = upper(advance().text);
                ExprPtr chars;
                if (!kw_at("FROM")) chars = expr(kLowest);
                sc.args.push_back(SpecialArg{where, std::move(chars)});
                expect_kw("FROM");
                sc.args.push_back(SpecialArg{"FROM", expr(kLowest)});
                return finish();
            }
            ExprPtr first = expr(kLowest);
            if (kw_at("FROM")) {
                sc.args.push_back(SpecialArg{"", std::move(first)});
                advance();
                sc.args.push_back(SpecialArg{"FROM", expr(kLowest)});
                return finish();
            }
            args.push_back(FunctionArg{FunctionArg::Kind::Expr, std::move(first), {}, std::nullopt, NamedArgOp::Arrow});
            return std::nullopt;
        }
        if (g_.parse_as && (iequals(n, "PARSE") || iequals(n, "TRY_PARSE"))) {
            if (op_at(")")) return std::nullopt;
            sc.args.push_back(SpecialArg{"", expr(kLowest)});
            expect_kw("AS");
            sc.args.push_back(SpecialArg{"AS", expr(kLowest)});
            if (accept_kw("USING")) sc.args.push_back(SpecialArg{"USING", expr(kLowest)});
            return finish();
        }
        bool position = iequals(n, "POSITION");
        bool substring = iequals(n, "SUBSTRING");
        bool overlay = iequals(n, "OVERLAY");
        if (!position && !substring && !overlay) return std::nullopt;
        if (op_at(")") || op_at("*") || qualified_wildcard_ahead() || ((op_at("=>", 1) || op_at(":=", 1))))
            return std::nullopt;
        ExprPtr first = expr(position ? kPredicateLevel + 1 : kLowest);
        if (position && kw_at("IN")) {
            advance();
            sc.args.push_back(SpecialArg{"", std::move(first)});
            sc.args.push_back(SpecialArg{"IN", expr(kLowest)});
            return finish();
        }
        if ((substring && (kw_at("FROM") || kw_at("FOR"))) || (overlay && kw_at("PLACING"))) {
            sc.args.push_back(SpecialArg{"", std::move(first)});
            if (overlay) keyword_args({"PLACING", "FROM", "FOR"});
            else keyword_args({"FROM", "FOR"});
            return finish();
        }
        if (position) {
            // The first argument was read without IN; carry on as an ordinary argument.
            while (ExprPtr next = infix(first, kLowest)) {
                first = std::move(next);
                bump();
            }
        }
        args.push_back(FunctionArg{FunctionArg::Kind::Expr, std::move(first), {}, std::nullopt, NamedArgOp::Arrow});
        return std::nullopt;
    }

    ExprPtr call(std::vector<Ident> parts) {
        Nest nest(*this);
        const Token& open = advance();  // (
        (void)open;
        Function f;
        f.name = std::move(parts);
        f.form = ArgForm::List;
        if (op_at(")")) {
            advance();
        } else if (query_ahead()) {
            f.form = ArgForm::Subquery;
            f.subquery = query();
            expect_op(")");
        } else {
            bool have_first = false;
            if (kw_at("DISTINCT")) {
                advance();
                f.quantifier = SetQuantifier::Distinct;
            } else if (kw_at("ALL") && !op_at("(", 1) && !op_at(")", 1)) {
                advance();
                f.quantifier = SetQuantifier::All;
            } else {
                if (auto sc = special_call(f.name, f.args)) return std::move(*sc);
                have_first = !f.args.empty();
            }
            if (!have_first || accept_op(",")) {
                do {
                    f.args.push_back(argument());
                } while (accept_op(","));
            }
            if (kw_at("ORDER") && kw_at("BY", 1)) {
                if (!g_.order_in_call) unsupported(peek(), "ORDER BY inside a call");
                advance();
                advance();
                f.order_by = order_items();
            }
            expect_op(")");
        }
        if (kw_at("WITHIN") && kw_at("GROUP", 1)) {
            advance();
            advance();
            expect_op("(");
            expect_kw("ORDER");
            expect_kw("BY");
            f.within_group = order_items();
            expect_op(")");
        }
        if (kw_at("FILTER") && op_at("(", 1)) {
            if (!g_.filter_clause) unsupported(peek(), "FILTER");
            advance();
            advance();
            if (!accept_kw("WHERE") && !g_.filter_where_optional) fail_expected("WHERE");
            f.filter = expr(kLowest);
            expect_op(")");
        }
        if ((kw_at("IGNORE") || kw_at("RESPECT")) && kw_at("NULLS", 1)) {
            f.nulls = iequals(advance().text, "IGNORE") ? NullTreatment::Ignore : NullTreatment::Respect;
            advance();
        }
        if (kw_at("OVER") && (op_at("(", 1) || name_token(1))) {
            advance();
            f.over = window();
        }
        return node(std::move(f));
    }

    WindowSpec window() {
        WindowSpec w;
        if (!op_at("(")) {
            w.parenthesized = false;
            w.name = name();
            return w;
        }
        advance();
        if (name_token() && !kw_at("PARTITION") && !kw_at("ORDER") && !kw_at("ROWS") && !kw_at("RANGE") &&
            !kw_at("GROUPS") && !op_at(")") )
            w.name = name();
        if (kw_at("PARTITION") && kw_at("BY", 1)) {
            advance();
            advance();
            w.partition_by = expr_list();
        }
        if (kw_at("ORDER") && kw_at("BY", 1)) {
            advance();
            advance();
            w.order_by = order_items();
        }
        if (kw_at("ROWS") || kw_at("RANGE") || kw_at("GROUPS")) {
            WindowFrame fr;
            std::string_view u = advance().text;
            fr.units = iequals(u, "ROWS") ? FrameUnits::Rows : iequals(u, "RANGE") ? FrameUnits::Range : FrameUnits::Groups;
            if (accept_kw("BETWEEN")) {
                fr.start = frame_bound();
                expect_kw("AND");
                fr.end = frame_bound();
            } else {
                fr.start = frame_bound();
            }
            w.frame = std::move(fr);
        }
        expect_op(")");
        return w;
    }

    FrameBound frame_bound() {
        FrameBound b;
        if (accept_kw("UNBOUNDED")) {
            if (accept_kw("PRECEDING")) b.kind = FrameBound::Kind::UnboundedPreceding;
            else if (accept_kw("FOLLOWING")) b.kind = FrameBound::Kind::UnboundedFollowing;
            else fail_expected("PRECEDING or FOLLOWING");
            return b;
        }
        if (accept_kw("CURRENT")) {
            expect_kw("ROW");
            b.kind = FrameBound::Kind::CurrentRow;
            return b;
        }
        b.offset = expr(kNotLevel);
        if (accept_kw("PRECEDING")) b.kind = FrameBound::Kind::Preceding;
        else if (accept_kw("FOLLOWING")) b.kind = FrameBound::Kind::Following;
        else fail_expected("PRECEDING or FOLLOWING");
        return b;
    }

    // ---- subqueries ----
    QueryPtr query() {
        Nest nest(*this);
        Query q;
        if (accept_kw("WITH")) {
            do {
                Cte c;
                c.name = name();
                expect_kw("AS");
                expect_op("(");
                c.query = query();
                expect_op(")");
                q.with.push_back(std::move(c));
            } while (accept_op(","));
        }
        q.selects.push_back(select());
        while (true) {
            if (kw_at("UNION")) {
                advance();
                if (accept_kw("ALL")) q.ops.push_back(SetOp::UnionAll);
                else {
                    accept_kw("DISTINCT");
                    q.ops.push_back(SetOp::Union);
                }
            } else if (kw_at("EXCEPT")) {
                advance();
                q.ops.push_back(SetOp::Except);
            } else if (kw_at("INTERSECT")) {
                advance();
                q.ops.push_back(SetOp::Intersect);
            } else if (kw_at("MINUS") && kw_at("SELECT", 1)) {
                advance();
                q.ops.push_back(SetOp::Minus);
            } else {
                break;
            }
            q.selects.push_back(select());
        }
        if (kw_at("ORDER") && kw_at("BY", 1)) {
            advance();
            advance();
            q.order_by = order_items();
        }
        if (kw_at("LIMIT")) {
            if (!g_.limit) unsupported(peek(), "LIMIT");
            advance();
            q.limit = expr(kLowest);
        }
        if (accept_kw("OFFSET")) {
            q.offset = expr(kLowest);
            if (accept_kw("ROWS") || accept_kw("ROW")) q.offset_rows = true;
        }
        if (accept_kw("FETCH")) {
            if (!accept_kw("NEXT")) expect_kw("FIRST");
            q.fetch = expr(kLowest);
            if (!accept_kw("ROWS")) expect_kw("ROW");
            expect_kw("ONLY");
        }
        return QueryPtr(std::move(q));
    }

    Select select() {
        expect_kw("SELECT");
        Select s;
        if (accept_kw("DISTINCT")) s.quantifier = SetQuantifier::Distinct;
        else if (accept_kw("ALL")) s.quantifier = SetQuantifier::All;
        if (g_.top && kw_at("TOP")) {
            advance();
            if (op_at("(")) s.top = paren();
            else if (peek().kind == TokenKind::Number) s.top = node(NumberLit{std::string(advance().text)});
            else fail_expected("a row count");
            if (accept_kw("PERCENT")) s.top_percent = true;
        }
        do {
            SelectItem item;
            if (op_at("*")) {
                advance();
                item.kind = SelectItem::Kind::Wildcard;
            } else if (qualified_wildcard_ahead()) {
                item.kind = SelectItem::Kind::QualifiedWildcard;
                item.qualifier = qualified_wildcard();
            } else {
                item.expr = expr(kLowest);
                item.alias = alias();
            }
            s.items.push_back(std::move(item));
        } while (accept_op(","));
        if (accept_kw("FROM")) {
            do {
                s.from.push_back(table_ref());
            } while (accept_op(","));
        }
        if (accept_kw("WHERE")) s.where = expr(kLowest);
        if (kw_at("GROUP") && kw_at("BY", 1)) {
            advance();
            advance();
            s.group_by = expr_list();
        }
        if (accept_kw("HAVING")) s.having = expr(kLowest);
        if (kw_at("QUALIFY")) {
            if (!g_.qualify) unsupported(peek(), "QUALIFY");
            advance();
            s.qualify = expr(kLowest);
        }
        return s;
    }

    TableRef table_ref() {
        Nest nest(*this);
        TableRef r;
        r.factor = table_factor();
        while (true) {
            JoinKind kind;
            if (kw_at("JOIN")) {
                kind = JoinKind::Join;
                advance();
            } else if (kw_at("INNER") && kw_at("JOIN", 1)) {
                kind = JoinKind::Inner;
                pos_ += 2;
            } else if (kw_at("CROSS") && kw_at("JOIN", 1)) {
                kind = JoinKind::Cross;
                pos_ += 2;
            } else if (kw_at("LEFT") || kw_at("RIGHT") || kw_at("FULL")) {
                bool outer = kw_at("OUTER", 1);
                if (!kw_at("JOIN", outer ? 2 : 1)) break;
                std::string_view w = peek().text;
                if (iequals(w, "LEFT")) kind = outer ? JoinKind::LeftOuter : JoinKind::Left;
                else if (iequals(w, "RIGHT")) kind = outer ? JoinKind::RightOuter : JoinKind::Right;
                else kind = outer ? JoinKind::FullOuter : JoinKind::Full;
                pos_ += outer ? 3 : 2;
            } else {
                break;
            }
            Join j;
            j.kind = kind;
            j.factor = table_factor();
            if (kind != JoinKind::Cross) {
                if (accept_kw("ON")) {
                    j.on = expr(kLowest);
                } else if (accept_kw("USING")) {
                    expect_op("(");
                    do {
                        j.using_columns.push_back(name());
                    } while (accept_op(","));
                    expect_op(")");
                } else {
                    fail_expected("ON or USING");
                }
            }
            r.joins.push_back(std::move(j));
        }
        return r;
    }

    TableFactor table_factor() {
        TableFactor f;
        if (accept_op("(")) {
            if (query_ahead()) {
                f.kind = TableFactor::Kind::Derived;
                f.query = query();
            } else {
                f.kind = TableFactor::Kind::Nested;
                f.nested = Box<TableRef>(table_ref());
            }
            expect_op(")");
        } else {
            if (!name_token() || (peek().kind == TokenKind::Word && in_list(peek().text, kReserved)))
                fail_expected("a table");
            std::vector<Ident> parts;
            parts.push_back(ident_of(advance()));
            while (op_at(".") && name_token(1)) {
                advance();
                parts.push_back(ident_of(advance()));
            }
            if (op_at("(")) {
                f.kind = TableFactor::Kind::Function;
                f.function = call(std::move(parts));
            } else {
                f.kind = TableFactor::Kind::Table;
                f.name = std::move(parts);
            }
        }
        f.alias = alias();
        return f;
    }

    std::string_view src_;
    std::vector<Token> toks_;
    const Grammar& g_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    int budget_ = 0;
    bool lambda_context_ = false;
};

}  // namespace

Result<ParsedExpr, std::string> parse_expr(std::string_view text, Dialect dialect) {
    const Grammar& g = traits(dialect).grammar;
    auto toks = tokenize(text, g);
    if (!toks) return fail(std::move(toks.error()));
    try {
        Parser p(text, std::move(*toks), g);
        return p.parse_one();
    } catch (SyntaxError& e) {
        return fail(std::move(e.message));
    }
}

}  // namespace korvel::sql
