// korvel's SQL expression engine: one parser and one printer for the five dialects.
//
// Usage:
//   auto parsed = sql::parse_expr("SUM(amount) FILTER (WHERE x > 1)", sql::Dialect::Postgres);
//   if (!parsed) return parsed.error();          // "sql parser error: ..."
//   if (parsed->next) ...                        // the token after the expression, as written
//   sql::walk(parsed->expr, [&](sql::ExprPtr& e) {    // children first, subqueries included
//       if (auto* id = e->as<sql::Identifier>())
//           e = sql::compound({"orders", id->name.value}, '"');
//   });
//   std::string text = sql::print(*parsed->expr);  // one line, reads back into the same tree
//
// Trees own their nodes through ExprPtr, a pointer with value semantics: copying an
// ExprPtr copies the whole subtree, and == compares trees structurally.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/result.h"
#include "sql/dialect.h"

namespace korvel::sql {

// An owning pointer that copies and compares what it points to.
template <class T>
class Box {
public:
    Box() = default;
    Box(std::nullptr_t) {}
    explicit Box(std::unique_ptr<T> p) : p_(std::move(p)) {}
    Box(T value) : p_(std::make_unique<T>(std::move(value))) {}
    Box(const Box& o) : p_(o.p_ ? std::make_unique<T>(*o.p_) : nullptr) {}
    Box(Box&&) noexcept = default;
    Box& operator=(const Box& o) {
        if (this != &o) p_ = o.p_ ? std::make_unique<T>(*o.p_) : nullptr;
        return *this;
    }
    Box& operator=(Box&&) noexcept = default;
    ~Box() = default;

    T* get() const { return p_.get(); }
    T& operator*() const { return *p_; }
    T* operator->() const { return p_.get(); }
    explicit operator bool() const { return p_ != nullptr; }
    std::unique_ptr<T> release() { return std::move(p_); }

    friend bool operator==(const Box& a, const Box& b) {
        if (!a.p_ || !b.p_) return !a.p_ && !b.p_;
        return *a.p_ == *b.p_;
    }

private:
    std::unique_ptr<T> p_;
};

struct Expr;
struct Query;
using ExprPtr = Box<Expr>;
using QueryPtr = Box<Query>;
using ExprList = std::vector<ExprPtr>;

// One name part. `value` has doubled closing quotes collapsed; `quote` is the opening
// quote character ('"', '`' or '['), or '\0' when the name was written bare.
struct Ident {
    std::string value;
    char quote = '\0';
    friend bool operator==(const Ident&, const Ident&) = default;
};

// ---- supporting records ----

struct OrderItem {
    ExprPtr expr;
    std::optional<bool> asc;          // ASC / DESC as written
    std::optional<bool> nulls_first;  // NULLS FIRST / NULLS LAST as written
    friend bool operator==(const OrderItem&, const OrderItem&) = default;
};

// The type of CAST, TRY_CAST and ::, as written with canonical spacing (x::int, DECIMAL(10, 2)).
struct DataType {
    std::string text;
    friend bool operator==(const DataType&, const DataType&) = default;
};

enum class FrameUnits { Rows, Range, Groups };
struct FrameBound {
    enum class Kind { UnboundedPreceding, UnboundedFollowing, CurrentRow, Preceding, Following };
    Kind kind = Kind::CurrentRow;
    ExprPtr offset;  // for Preceding / Following
    friend bool operator==(const FrameBound&, const FrameBound&) = default;
};
struct WindowFrame {
    FrameUnits units = FrameUnits::Rows;
    FrameBound start;
    std::optional<FrameBound> end;  // present when written with BETWEEN
    friend bool operator==(const WindowFrame&, const WindowFrame&) = default;
};
struct WindowSpec {
    std::optional<Ident> name;  // OVER w
    ExprList partition_by;
    std::vector<OrderItem> order_by;
    std::optional<WindowFrame> frame;
    bool parenthesized = true;  // false only for OVER w
    friend bool operator==(const WindowSpec&, const WindowSpec&) = default;
};

enum class NamedArgOp { Arrow /* => */, Walrus /* := */ };

struct FunctionArg {
    enum class Kind { Expr, Wildcard /* * */, QualifiedWildcard /* t.* */ };
    Kind kind = Kind::Expr;
    ExprPtr expr;                    // Kind::Expr
    std::vector<Ident> qualifier;    // Kind::QualifiedWildcard: the parts before .*
    std::optional<Ident> name;       // named argument: name => value
    NamedArgOp name_op = NamedArgOp::Arrow;
    friend bool operator==(const FunctionArg&, const FunctionArg&) = default;
};

enum class ArgForm { None /* CURRENT_DATE */, List /* f(...) */, Subquery /* f(SELECT ...) */ };
enum class SetQuantifier { None, Distinct, All };
enum class NullTreatment { None, Ignore, Respect };

// ---- node kinds ----

struct Identifier {
    Ident name;
    friend bool operator==(const Identifier&, const Identifier&) = default;
};
struct CompoundIdentifier {
    std::vector<Ident> parts;
    friend bool operator==(const CompoundIdentifier&, const CompoundIdentifier&) = default;
};
struct NumberLit {
    std::string text;  // as written
    friend bool operator==(const NumberLit&, const NumberLit&) = default;
};
struct StringLit {
    std::string text;  // as written: prefix, quotes and escapes included
    friend bool operator==(const StringLit&, const StringLit&) = default;
};
struct BoolLit {
    bool value = false;
    friend bool operator==(const BoolLit&, const BoolLit&) = default;
};
struct NullLit {
    friend bool operator==(const NullLit&, const NullLit&) = default;
};
// DATE '2024-01-01', TIMESTAMP '...'
struct TypedLit {
    std::string type;     // as written
    std::string literal;  // the string literal as written
    friend bool operator==(const TypedLit&, const TypedLit&) = default;
};
// INTERVAL '1 day', INTERVAL '1' DAY, INTERVAL 3 MONTH, INTERVAL '1-2' YEAR TO MONTH
struct IntervalLit {
    ExprPtr value;
    std::string unit;     // upper case, empty when absent
    std::string to_unit;  // upper case, empty when absent
    friend bool operator==(const IntervalLit&, const IntervalLit&) = default;
};

enum class UnaryOp { Not, Minus, Plus, BitNot };
struct Unary {
    UnaryOp op = UnaryOp::Not;
    ExprPtr operand;
    friend bool operator==(const Unary&, const Unary&) = default;
};

// Operators are named by how they are written: ^ is a power in some grammars and an
// exclusive or in others.
enum class BinaryOp {
    Or, And,
    Eq /* = */, EqEq /* == */, NotEq /* <> */, BangEq /* != */, NullSafeEq /* <=> */,
    Lt, LtEq, Gt, GtEq, NotLt /* !< */, NotGt /* !> */,
    Plus, Minus, Star, Slash, Percent, SlashSlash /* // */, Div /* DIV */,
    Caret /* ^ */, StarStar /* ** */,
    Concat /* || */, Amp /* & */, Pipe /* | */, Hash /* # */, ShiftLeft, ShiftRight,
    Arrow /* -> */, LongArrow /* ->> */, HashArrow /* #> */, HashLongArrow /* #>> */,
    AtGt /* @> */, LtAt /* <@ */, AmpAmp /* && */,
    Tilde /* ~ */, TildeStar /* ~* */, BangTilde /* !~ */, BangTildeStar /* !~* */,
    Question /* ? */, QuestionPipe /* ?| */, QuestionAmp /* ?& */,
};
struct Binary {
    BinaryOp op = BinaryOp::And;
    ExprPtr left;
    ExprPtr right;
    friend bool operator==(const Binary&, const Binary&) = default;
};

// x IS [NOT] NULL / TRUE / FALSE / UNKNOWN
struct IsTest {
    enum class What { Null, True, False, Unknown };
    ExprPtr expr;
    bool negated = false;
    What what = What::Null;
    friend bool operator==(const IsTest&, const IsTest&) = default;
};
struct IsDistinctFrom {
    ExprPtr left;
    ExprPtr right;
    bool negated = false;  // IS NOT DISTINCT FROM
    friend bool operator==(const IsDistinctFrom&, const IsDistinctFrom&) = default;
};
struct InList {
    ExprPtr expr;
    bool negated = false;
    ExprList list;
    friend bool operator==(const InList&, const InList&) = default;
};
struct InSubquery {
    ExprPtr expr;
    bool negated = false;
    QueryPtr query;
    friend bool operator==(const InSubquery&, const InSubquery&) = default;
};
struct Between {
    ExprPtr expr;
    bool negated = false;
    bool symmetric = false;  // BETWEEN SYMMETRIC
    ExprPtr low;
    ExprPtr high;
    friend bool operator==(const Between&, const Between&) = default;
};
enum class LikeOp { Like, ILike, SimilarTo, RLike, Regexp, Glob };
struct Like {
    ExprPtr expr;
    bool negated = false;
    LikeOp op = LikeOp::Like;
    ExprPtr pattern;
    ExprPtr escape;  // ESCAPE '...', may be null
    friend bool operator==(const Like&, const Like&) = default;
};
struct WhenClause {
    ExprPtr condition;
    ExprPtr result;
    friend bool operator==(const WhenClause&, const WhenClause&) = default;
};
struct Case {
    ExprPtr operand;  // null for a searched CASE
    std::vector<WhenClause> whens;
    ExprPtr else_result;  // may be null
    friend bool operator==(const Case&, const Case&) = default;
};
enum class CastKind { Cast, TryCast, DoubleColon };
struct Cast {
    CastKind kind = CastKind::Cast;
    ExprPtr expr;
    DataType type;
    friend bool operator==(const Cast&, const Cast&) = default;
};
struct Extract {
    std::string field;  // as written
    ExprPtr expr;
    friend bool operator==(const Extract&, const Extract&) = default;
};
// Calls with keywords between their arguments: POSITION(a IN b), SUBSTRING(x FROM 1 FOR 2),
// TRIM(BOTH ' ' FROM x), OVERLAY(x PLACING y FROM 1 FOR 2), TRY_PARSE(x AS INT USING 'de-DE').
struct SpecialArg {
    std::string keyword;  // upper case, empty for a leading argument
    ExprPtr expr;         // null for a lone keyword such as BOTH
    friend bool operator==(const SpecialArg&, const SpecialArg&) = default;
};
struct SpecialCall {
    std::string name;  // as written
    std::vector<SpecialArg> args;
    friend bool operator==(const SpecialCall&, const SpecialCall&) = default;
};
struct Function {
    std::vector<Ident> name;  // one or more parts: analytics.sum
    ArgForm form = ArgForm::List;
    SetQuantifier quantifier = SetQuantifier::None;  // DISTINCT / ALL inside the list
    std::vector<FunctionArg> args;
    std::vector<OrderItem> order_by;  // string_agg(x, ',' ORDER BY y)
    QueryPtr subquery;                // ArgForm::Subquery
    std::optional<std::vector<OrderItem>> within_group;
    ExprPtr filter;  // FILTER (WHERE ...), may be null
    NullTreatment nulls = NullTreatment::None;
    std::optional<WindowSpec> over;
    friend bool operator==(const Function&, const Function&) = default;
};
struct Exists {
    QueryPtr query;
    friend bool operator==(const Exists&, const Exists&) = default;
};
struct Subquery {
    QueryPtr query;
    friend bool operator==(const Subquery&, const Subquery&) = default;
};
// An expression the author wrapped in parentheses.
struct Nested {
    ExprPtr inner;
    friend bool operator==(const Nested&, const Nested&) = default;
};
struct Tuple {
    ExprList items;
    friend bool operator==(const Tuple&, const Tuple&) = default;
};
// ARRAY[1, 2] (keyword) or [1, 2]
struct ArrayLit {
    bool keyword = true;
    ExprList items;
    friend bool operator==(const ArrayLit&, const ArrayLit&) = default;
};
// a[i] or a[i:j]
struct Subscript {
    ExprPtr base;
    ExprPtr index;  // may be null in a slice
    bool slice = false;
    ExprPtr end;  // slice end, may be null
    friend bool operator==(const Subscript&, const Subscript&) = default;
};
// Semi-structured access: payload:customer.name[0]
struct PathStep {
    std::optional<Ident> key;  // .key (the first step follows the colon)
    ExprPtr index;             // [index]
    friend bool operator==(const PathStep&, const PathStep&) = default;
};
struct PathAccess {
    ExprPtr base;
    std::vector<PathStep> steps;
    friend bool operator==(const PathAccess&, const PathAccess&) = default;
};
struct Collate {
    ExprPtr expr;
    std::string collation;  // as written
    friend bool operator==(const Collate&, const Collate&) = default;
};
struct AtTimeZone {
    ExprPtr expr;
    ExprPtr zone;
    friend bool operator==(const AtTimeZone&, const AtTimeZone&) = default;
};
// (expr).field, f(x).field
struct FieldAccess {
    ExprPtr base;
    Ident field;
    friend bool operator==(const FieldAccess&, const FieldAccess&) = default;
};
// {'a': 1, 'b': x}
struct StructField {
    std::string key;  // as written: a name or a string literal
    ExprPtr value;
    friend bool operator==(const StructField&, const StructField&) = default;
};
struct StructLit {
    std::vector<StructField> fields;
    friend bool operator==(const StructLit&, const StructLit&) = default;
};
// x -> x + 1, (a, b) -> a + b
struct Lambda {
    std::vector<Ident> params;
    bool parenthesized = false;
    ExprPtr body;
    friend bool operator==(const Lambda&, const Lambda&) = default;
};

struct Expr {
    using Node = std::variant<Identifier, CompoundIdentifier, NumberLit, StringLit, BoolLit,
                              NullLit, TypedLit, IntervalLit, Unary, Binary, IsTest,
                              IsDistinctFrom, InList, InSubquery, Between, Like, Case, Cast,
                              Extract, SpecialCall, Function, Exists, Subquery, Nested, Tuple,
                              ArrayLit, Subscript, PathAccess, Collate, AtTimeZone, Lambda,
                              FieldAccess, StructLit>;
    Node node;

    template <class T>
    T* as() { return std::get_if<T>(&node); }
    template <class T>
    const T* as() const { return std::get_if<T>(&node); }
    template <class T>
    bool is() const { return std::holds_alternative<T>(node); }

    friend bool operator==(const Expr&, const Expr&) = default;
};

// ---- subqueries ----

struct SelectItem {
    enum class Kind { Expr, Wildcard, QualifiedWildcard };
    Kind kind = Kind::Expr;
    ExprPtr expr;
    std::vector<Ident> qualifier;
    std::optional<Ident> alias;
    friend bool operator==(const SelectItem&, const SelectItem&) = default;
};
struct TableRef;
struct TableFactor {
    enum class Kind { Table, Derived /* (SELECT ...) */, Function, Nested /* (a JOIN b) */ };
    Kind kind = Kind::Table;
    std::vector<Ident> name;
    QueryPtr query;
    ExprPtr function;
    Box<TableRef> nested;
    std::optional<Ident> alias;
    friend bool operator==(const TableFactor&, const TableFactor&) = default;
};
enum class JoinKind { Join, Inner, Left, LeftOuter, Right, RightOuter, Full, FullOuter, Cross };
struct Join {
    JoinKind kind = JoinKind::Join;
    TableFactor factor;
    ExprPtr on;
    std::vector<Ident> using_columns;
    friend bool operator==(const Join&, const Join&) = default;
};
struct TableRef {
    TableFactor factor;
    std::vector<Join> joins;
    friend bool operator==(const TableRef&, const TableRef&) = default;
};
struct Select {
    SetQuantifier quantifier = SetQuantifier::None;
    ExprPtr top;  // TOP (n)
    bool top_percent = false;
    std::vector<SelectItem> items;
    std::vector<TableRef> from;
    ExprPtr where;
    ExprList group_by;
    ExprPtr having;
    ExprPtr qualify;
    friend bool operator==(const Select&, const Select&) = default;
};
enum class SetOp { Union, UnionAll, Except, Intersect, Minus };
struct Cte {
    Ident name;
    QueryPtr query;
    friend bool operator==(const Cte&, const Cte&) = default;
};
struct Query {
    std::vector<Cte> with;
    std::vector<Select> selects;  // combined left to right by `ops`
    std::vector<SetOp> ops;       // selects.size() - 1 entries
    std::vector<OrderItem> order_by;
    ExprPtr limit;
    ExprPtr offset;
    bool offset_rows = false;  // OFFSET n ROWS
    ExprPtr fetch;             // FETCH NEXT m ROWS ONLY
    friend bool operator==(const Query&, const Query&) = default;
};

// ---- parsing ----

struct ParsedExpr {
    ExprPtr expr;
    // The token after the expression as written; nothing at the end of the input.
    std::optional<std::string> next;
};

// Parses one expression from the start of `text` in the dialect's grammar. Failures,
// including those of splitting the text into tokens, are descriptions beginning
// "sql parser error: ".
Result<ParsedExpr, std::string> parse_expr(std::string_view text, Dialect dialect);

// Deepest nesting the parser accepts; deeper input is refused with an error.
inline constexpr int kMaxDepth = 200;

// ---- printing ----

// The canonical one-line form: names and literals as written, the author's parentheses
// kept, keywords in upper case. An AND or OR operand of a built AND/OR that binds more
// loosely (an OR under an AND) is enclosed in parentheses.
std::string print(const Expr& expr);
std::string print(const Query& query);

// A structural description of the tree, for tests and diagnostics.
std::string dump(const Expr& expr);

// ---- walking ----

// Calls `visit` on each direct child expression slot of `expr`, subqueries included.
void for_each_child(Expr& expr, const std::function<void(ExprPtr&)>& visit);
void for_each_child(const Expr& expr, const std::function<void(const Expr&)>& visit);

// Visits every node, children before parents; `visit` may replace the node it is given.
void walk(ExprPtr& root, const std::function<void(ExprPtr&)>& visit);
void walk(const Expr& root, const std::function<void(const Expr&)>& visit);

// ---- building ----

ExprPtr make(Expr::Node node);
// CASE WHEN condition THEN result END
ExprPtr case_when(ExprPtr condition, ExprPtr result);
// left AND right; printing parenthesises an OR operand.
ExprPtr and_(ExprPtr left, ExprPtr right);
ExprPtr number(std::string text);
// Parts joined by full stops, each carrying `quote` ('\0' for bare names).
ExprPtr compound(const std::vector<std::string>& parts, char quote);
// A deep copy.
ExprPtr copy(const Expr& expr);

}  // namespace korvel::sql
