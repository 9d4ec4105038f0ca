// Printing, walking and building expression trees.
#include "sql/expr.h"

#include <fmt/format.h>

#include "sql/expr_prec.h"

namespace korvel::sql {

const char* binary_text(BinaryOp op) {
    switch (op) {
        case BinaryOp::Or: return "OR";
        case BinaryOp::And: return "AND";
        case BinaryOp::Eq: return "=";
        case BinaryOp::EqEq: return "==";
        case BinaryOp::NotEq: return "<>";
        case BinaryOp::BangEq: return "!=";
        case BinaryOp::NullSafeEq: return "<=>";
        case BinaryOp::Lt: return "<";
        case BinaryOp::LtEq: return "<=";
        case BinaryOp::Gt: return ">";
        case BinaryOp::GtEq: return ">=";
        case BinaryOp::NotLt: return "!<";
        case BinaryOp::NotGt: return "!>";
        case BinaryOp::Plus: return "+";
        case BinaryOp::Minus: return "-";
        case BinaryOp::Star: return "*";
        case BinaryOp::Slash: return "/";
        case BinaryOp::Percent: return "%";
        case BinaryOp::SlashSlash: return "//";
        case BinaryOp::Div: return "DIV";
        case BinaryOp::Caret: return "^";
        case BinaryOp::StarStar: return "**";
        case BinaryOp::Concat: return "||";
        case BinaryOp::Amp: return "&";
        case BinaryOp::Pipe: return "|";
        case BinaryOp::Hash: return "#";
        case BinaryOp::ShiftLeft: return "<<";
        case BinaryOp::ShiftRight: return ">>";
        case BinaryOp::Arrow: return "->";
        case BinaryOp::LongArrow: return "->>";
        case BinaryOp::HashArrow: return "#>";
        case BinaryOp::HashLongArrow: return "#>>";
        case BinaryOp::AtGt: return "@>";
        case BinaryOp::LtAt: return "<@";
        case BinaryOp::AmpAmp: return "&&";
        case BinaryOp::Tilde: return "~";
        case BinaryOp::TildeStar: return "~*";
        case BinaryOp::BangTilde: return "!~";
        case BinaryOp::BangTildeStar: return "!~*";
        case BinaryOp::Question: return "?";
        case BinaryOp::QuestionPipe: return "?|";
        case BinaryOp::QuestionAmp: return "?&";
    }
    return "?";
}

namespace {

const char* like_text(LikeOp op) {
    switch (op) {
        case LikeOp::Like: return "LIKE";
        case LikeOp::ILike: return "ILIKE";
        case LikeOp::SimilarTo: return "SIMILAR TO";
        case LikeOp::RLike: return "RLIKE";
        case LikeOp::Regexp: return "REGEXP";
        case LikeOp::Glob: return "GLOB";
    }
    return "LIKE";
}

const char* join_text(JoinKind k) {
    switch (k) {
        case JoinKind::Join: return "JOIN";
        case JoinKind::Inner: return "INNER JOIN";
        case JoinKind::Left: return "LEFT JOIN";
        case JoinKind::LeftOuter: return "LEFT OUTER JOIN";
        case JoinKind::Right: return "RIGHT JOIN";
        case JoinKind::RightOuter: return "RIGHT OUTER JOIN";
        case JoinKind::Full: return "FULL JOIN";
        case JoinKind::FullOuter: return "FULL OUTER JOIN";
        case JoinKind::Cross: return "CROSS JOIN";
    }
    return "JOIN";
}

const char* set_op_text(SetOp op) {
    switch (op) {
        case SetOp::Union: return "UNION";
        case SetOp::UnionAll: return "UNION ALL";
        case SetOp::Except: return "EXCEPT";
        case SetOp::Intersect: return "INTERSECT";
        case SetOp::Minus: return "MINUS";
    }
    return "UNION";
}

class Printer {
public:
    std::string out;

    void ident(const Ident& id) {
        char close;
        switch (id.quote) {
            case '\0':
                out += id.value;
                return;
            case '[': close = ']'; break;
            default: close = id.quote; break;
        }
        out += id.quote;
        for (char c : id.value) {
            out += c;
            if (c == close) out += c;
        }
        out += close;
    }
    void parts(const std::vector<Ident>& ps) {
        for (std::size_t i = 0; i < ps.size(); ++i) {
            if (i) out += '.';
            ident(ps[i]);
        }
    }
    void list(const ExprList& xs) {
        for (std::size_t i = 0; i < xs.size(); ++i) {
            if (i) out += ", ";
            expr(*xs[i]);
        }
    }
    void order(const std::vector<OrderItem>& items) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i) out += ", ";
            expr(*items[i].expr);
            if (items[i].asc) out += *items[i].asc ? " ASC" : " DESC";
            if (items[i].nulls_first) out += *items[i].nulls_first ? " NULLS FIRST" : " NULLS LAST";
        }
    }

    void expr(const Expr& e) {
        std::visit([this](const auto& n) { node(n); }, e.node);
    }

    // A Binary operand that binds more loosely than its place allows, as only built trees
    // have, is parenthesised so the text reads back as the tree.
    void operand(const Expr& child, BinaryOp parent, bool right) {
        bool wrap = false;
        if (const auto* b = child.as<Binary>()) {
            int need = binary_level(parent);
            int have = binary_level(b->op);
            bool associative = (parent == BinaryOp::And || parent == BinaryOp::Or) && b->op == parent;
            wrap = have < need || (right && have == need && !associative);
        }
        if (wrap) out += '(';
        expr(child);
        if (wrap) out += ')';
    }

    void node(const Identifier& n) { ident(n.name); }
    void node(const CompoundIdentifier& n) { parts(n.parts); }
    void node(const NumberLit& n) { out += n.text; }
    void node(const StringLit& n) { out += n.text; }
    void node(const BoolLit& n) { out += n.value ? "TRUE" : "FALSE"; }
    void node(const NullLit&) { out += "NULL"; }
    void node(const TypedLit& n) {
        out += n.type;
        out += ' ';
        out += n.literal;
    }
    void node(const IntervalLit& n) {
        out += "INTERVAL ";
        expr(*n.value);
        if (!n.unit.empty()) {
            out += ' ';
            out += n.unit;
            if (!n.to_unit.empty()) {
                out += " TO ";
                out += n.to_unit;
            }
        }
    }
    void node(const Unary& n) {
        if (n.op == UnaryOp::Not) {
            out += "NOT ";
            expr(*n.operand);
            return;
        }
        out += n.op == UnaryOp::Minus ? '-' : n.op == UnaryOp::Plus ? '+' : '~';
        // "- -x" must not become the comment "--x", nor glue into another operator.
        std::size_t mark = out.size();
        expr(*n.operand);
        if (mark < out.size() && std::string_view("+-~!@#%^&|`?<>=*/").find(out[mark]) != std::string_view::npos)
            out.insert(mark, 1, ' ');
    }
    void node(const Binary& n) {
        operand(*n.left, n.op, false);
        out += ' ';
        out += binary_text(n.op);
        out += ' ';
        operand(*n.right, n.op, true);
    }
    void node(const IsTest& n) {
        expr(*n.expr);
        out += n.negated ? " IS NOT " : " IS ";
        switch (n.what) {
            case IsTest::What::Null: out += "NULL"; break;
            case IsTest::What::True: out += "TRUE"; break;
            case IsTest::What::False: out += "FALSE"; break;
            case IsTest::What::Unknown: out += "UNKNOWN"; break;
        }
    }
    void node(const IsDistinctFrom& n) {
        expr(*n.left);
        out += n.negated ? " IS NOT DISTINCT FROM " : " IS DISTINCT FROM ";
        expr(*n.right);
    }
    void node(const InList& n) {
        expr(*n.expr);
        out += n.negated ? " NOT IN (" : " IN (";
        list(n.list);
        out += ')';
    }
    void node(const InSubquery& n) {
        expr(*n.expr);
        out += n.negated ? " NOT IN (" : " IN (";
        query(*n.query);
        out += ')';
    }
    void node(const Between& n) {
        expr(*n.expr);
        out += n.negated ? " NOT BETWEEN " : " BETWEEN ";
        if (n.symmetric) out += "SYMMETRIC ";
        expr(*n.low);
        out += " AND ";
        expr(*n.high);
    }
    void node(const Like& n) {
        expr(*n.expr);
        out += n.negated ? " NOT " : " ";
        out += like_text(n.op);
        out += ' ';
        expr(*n.pattern);
        if (n.escape) {
            out += " ESCAPE ";
            expr(*n.escape);
        }
    }
    void node(const Case& n) {
        out += "CASE";
        if (n.operand) {
            out += ' ';
            expr(*n.operand);
        }
        for (const auto& w : n.whens) {
            out += " WHEN ";
            expr(*w.condition);
            out += " THEN ";
            expr(*w.result);
        }
        if (n.else_result) {
            out += " ELSE ";
            expr(*n.else_result);
        }
        out += " END";
    }
    void node(const Cast& n) {
        if (n.kind == CastKind::DoubleColon) {
            expr(*n.expr);
            out += "::";
            out += n.type.text;
            return;
        }
        out += n.kind == CastKind::Cast ? "CAST(" : "TRY_CAST(";
        expr(*n.expr);
        out += " AS ";
        out += n.type.text;
        out += ')';
    }
    void node(const Extract& n) {
        out += "EXTRACT(";
        out += n.field;
        out += " FROM ";
        expr(*n.expr);
        out += ')';
    }
    void node(const SpecialCall& n) {
        out += n.name;
        out += '(';
        bool first = true;
        for (const auto& a : n.args) {
            if (!first) out += ' ';
            first = false;
            out += a.keyword;
            if (a.expr) {
                if (!a.keyword.empty()) out += ' ';
                expr(*a.expr);
            }
        }
        out += ')';
    }
    void window(const WindowSpec& w) {
        if (!w.parenthesized) {
            if (w.name) ident(*w.name);
            return;
        }
        out += '(';
        bool sep = false;
        auto space = [&]() {
            if (sep) out += ' ';
            sep = true;
        };
        if (w.name) {
            space();
            ident(*w.name);
        }
        if (!w.partition_by.empty()) {
            space();
            out += "PARTITION BY ";
            list(w.partition_by);
        }
        if (!w.order_by.empty()) {
            space();
            out += "ORDER BY ";
            order(w.order_by);
        }
        if (w.frame) {
            space();
            out += w.frame->units == FrameUnits::Rows ? "ROWS " : w.frame->units == FrameUnits::Range ? "RANGE " : "GROUPS ";
            if (w.frame->end) {
                out += "BETWEEN ";
                bound(w.frame->start);
                out += " AND ";
                bound(*w.frame->end);
            } else {
                bound(w.frame->start);
            }
        }
        out += ')';
    }
    void bound(const FrameBound& b) {
        switch (b.kind) {
            case FrameBound::Kind::UnboundedPreceding: out += "UNBOUNDED PRECEDING"; break;
            case FrameBound::Kind::UnboundedFollowing: out += "UNBOUNDED FOLLOWING"; break;
            case FrameBound::Kind::CurrentRow: out += "CURRENT ROW"; break;
            case FrameBound::Kind::Preceding:
                expr(*b.offset);
                out += " PRECEDING";
                break;
            case FrameBound::Kind::Following:
                expr(*b.offset);
                out += " FOLLOWING";
                break;
        }
    }
    void node(const Function& n) {
        parts(n.name);
        if (n.form == ArgForm::Subquery) {
            out += '(';
            query(*n.subquery);
            out += ')';
        } else if (n.form == ArgForm::List) {
            out += '(';
            if (n.quantifier == SetQuantifier::Distinct) out += "DISTINCT ";
            if (n.quantifier == SetQuantifier::All) out += "ALL ";
            for (std::size_t i = 0; i < n.args.size(); ++i) {
                if (i) out += ", ";
                const auto& a = n.args[i];
                if (a.name) {
                    ident(*a.name);
                    out += a.name_op == NamedArgOp::Arrow ? " => " : " := ";
                }
                switch (a.kind) {
                    case FunctionArg::Kind::Expr: expr(*a.expr); break;
                    case FunctionArg::Kind::Wildcard: out += '*'; break;
                    case FunctionArg::Kind::QualifiedWildcard:
                        parts(a.qualifier);
                        out += ".*";
                        break;
                }
            }
            if (!n.order_by.empty()) {
                out += " ORDER BY ";
                order(n.order_by);
            }
            out += ')';
        }
        if (n.within_group) {
            out += " WITHIN GROUP (ORDER BY ";
            order(*n.within_group);
            out += ')';
        }
        if (n.filter) {
            out += " FILTER (WHERE ";
            expr(*n.filter);
            out += ')';
        }
        if (n.nulls == NullTreatment::Ignore) out += " IGNORE NULLS";
        if (n.nulls == NullTreatment::Respect) out += " RESPECT NULLS";
        if (n.over) {
            out += " OVER ";
            window(*n.over);
        }
    }
    void node(const Exists& n) {
        out += "EXISTS (";
        query(*n.query);
        out += ')';
    }
    void node(const Subquery& n) {
        out += '(';
        query(*n.query);
        out += ')';
    }
    void node(const Nested& n) {
        out += '(';
        expr(*n.inner);
        out += ')';
    }
    void node(const Tuple& n) {
        out += '(';
        list(n.items);
        out += ')';
    }
    void node(const ArrayLit& n) {
        out += n.keyword ? "ARRAY[" : "[";
        list(n.items);
        out += ']';
    }
    void node(const Subscript& n) {
        expr(*n.base);
        out += '[';
        if (n.index) expr(*n.index);
        if (n.slice) {
            out += ':';
            if (n.end) expr(*n.end);
        }
        out += ']';
    }
    void node(const PathAccess& n) {
        expr(*n.base);
        bool first = true;
        for (const auto& s : n.steps) {
            if (s.key) {
                out += first ? ':' : '.';
                ident(*s.key);
            } else if (s.index) {
                out += '[';
                expr(*s.index);
                out += ']';
            }
            first = false;
        }
    }
    void node(const Collate& n) {
        expr(*n.expr);
        out += " COLLATE ";
        out += n.collation;
    }
    void node(const AtTimeZone& n) {
        expr(*n.expr);
        out += " AT TIME ZONE ";
        expr(*n.zone);
    }
    void node(const Lambda& n) {
        if (n.parenthesized) out += '(';
        for (std::size_t i = 0; i < n.params.size(); ++i) {
            if (i) out += ", ";
            ident(n.params[i]);
        }
        if (n.parenthesized) out += ')';
        out += " -> ";
        expr(*n.body);
    }

    void node(const FieldAccess& n) {
        expr(*n.base);
        out += '.';
        ident(n.field);
    }
    void node(const StructLit& n) {
        out += '{';
        for (std::size_t i = 0; i < n.fields.size(); ++i) {
            if (i) out += ", ";
            out += n.fields[i].key;
            out += ": ";
            expr(*n.fields[i].value);
        }
        out += '}';
    }

    void factor(const TableFactor& f) {
        switch (f.kind) {
            case TableFactor::Kind::Table: parts(f.name); break;
            case TableFactor::Kind::Derived:
                out += '(';
                query(*f.query);
                out += ')';
                break;
            case TableFactor::Kind::Function: expr(*f.function); break;
            case TableFactor::Kind::Nested:
                out += '(';
                table(*f.nested);
                out += ')';
                break;
        }
        if (f.alias) {
            out += " AS ";
            ident(*f.alias);
        }
    }
    void table(const TableRef& r) {
        factor(r.factor);
        for (const auto& j : r.joins) {
            out += ' ';
            out += join_text(j.kind);
            out += ' ';
            factor(j.factor);
            if (j.on) {
                out += " ON ";
                expr(*j.on);
            }
            if (!j.using_columns.empty()) {
                out += " USING (";
                for (std::size_t i = 0; i < j.using_columns.size(); ++i) {
                    if (i) out += ", ";
                    ident(j.using_columns[i]);
                }
                out += ')';
            }
        }
    }
    void select(const Select& s) {
        out += "SELECT ";
        if (s.quantifier == SetQuantifier::Distinct) out += "DISTINCT ";
        if (s.quantifier == SetQuantifier::All) out += "ALL ";
        if (s.top) {
            out += "TOP ";
            expr(*s.top);
            out += s.top_percent ? " PERCENT " : " ";
        }
        for (std::size_t i = 0; i < s.items.size(); ++i) {
            if (i) out += ", ";
            const auto& item = s.items[i];
            switch (item.kind) {
                case SelectItem::Kind::Wildcard: out += '*'; break;
                case SelectItem::Kind::QualifiedWildcard:
                    parts(item.qualifier);
                    out += ".*";
                    break;
                case SelectItem::Kind::Expr:
                    expr(*item.expr);
                    if (item.alias) {
                        out += " AS ";
                        ident(*item.alias);
                    }
                    break;
            }
        }
        if (!s.from.empty()) {
            out += " FROM ";
            for (std::size_t i = 0; i < s.from.size(); ++i) {
                if (i) out += ", ";
                table(s.from[i]);
            }
        }
        if (s.where) {
            out += " WHERE ";
            expr(*s.where);
        }
        if (!s.group_by.empty()) {
            out += " GROUP BY ";
            list(s.group_by);
        }
        if (s.having) {
            out += " HAVING ";
            expr(*s.having);
        }
        if (s.qualify) {
            out += " QUALIFY ";
            expr(*s.qualify);
        }
    }
    void query(const Query& q) {
        if (!q.with.empty()) {
            out += "WITH ";
            for (std::size_t i = 0; i < q.with.size(); ++i) {
                if (i) out += ", ";
                ident(q.with[i].name);
                out += " AS (";
                query(*q.with[i].query);
                out += ')';
            }
            out += ' ';
        }
        for (std::size_t i = 0; i < q.selects.size(); ++i) {
            if (i) {
                out += ' ';
                out += set_op_text(q.ops[i - 1]);
                out += ' ';
            }
            select(q.selects[i]);
        }
        if (!q.order_by.empty()) {
            out += " ORDER BY ";
            order(q.order_by);
        }
        if (q.limit) {
            out += " LIMIT ";
            expr(*q.limit);
        }
        if (q.offset) {
            out += " OFFSET ";
            expr(*q.offset);
            if (q.offset_rows) out += " ROWS";
        }
        if (q.fetch) {
            out += " FETCH NEXT ";
            expr(*q.fetch);
            out += " ROWS ONLY";
        }
    }
};

// ---- children ----

template <class E>
using Slot = std::conditional_t<std::is_const_v<E>, const ExprPtr, ExprPtr>;

template <class Q, class F>
void query_children(Q& q, F& f);

template <class T, class F>
void factor_children(T& t, F& f) {
    if (t.query) query_children(*t.query, f);
    if (t.function) f(t.function);
    if (t.nested) {
        factor_children(t.nested->factor, f);
        for (auto& j : t.nested->joins) {
            factor_children(j.factor, f);
            if (j.on) f(j.on);
        }
    }
}

template <class Q, class F>
void query_children(Q& q, F& f) {
    for (auto& c : q.with) query_children(*c.query, f);
    for (auto& s : q.selects) {
        if (s.top) f(s.top);
        for (auto& item : s.items)
            if (item.expr) f(item.expr);
        for (auto& r : s.from) {
            factor_children(r.factor, f);
            for (auto& j : r.joins) {
                factor_children(j.factor, f);
                if (j.on) f(j.on);
            }
        }
        if (s.where) f(s.where);
        for (auto& g : s.group_by) f(g);
        if (s.having) f(s.having);
        if (s.qualify) f(s.qualify);
    }
    for (auto& o : q.order_by) f(o.expr);
    if (q.limit) f(q.limit);
    if (q.offset) f(q.offset);
    if (q.fetch) f(q.fetch);
}

template <class W, class F>
void window_children(W& w, F& f) {
    for (auto& p : w.partition_by) f(p);
    for (auto& o : w.order_by) f(o.expr);
    if (w.frame) {
        if (w.frame->start.offset) f(w.frame->start.offset);
        if (w.frame->end && w.frame->end->offset) f(w.frame->end->offset);
    }
}

// Calls f on every non-null child slot of `e`, in the order the children are printed.
template <class E, class F>
void children(E& e, F&& f) {
    std::visit(
        [&](auto& n) {
            using N = std::decay_t<decltype(n)>;
            auto opt = [&](auto& p) {
                if (p) f(p);
            };
            if constexpr (std::is_same_v<N, IntervalLit>) {
                opt(n.value);
            } else if constexpr (std::is_same_v<N, Unary>) {
                opt(n.operand);
            } else if constexpr (std::is_same_v<N, Binary> || std::is_same_v<N, IsDistinctFrom>) {
                opt(n.left);
                opt(n.right);
            } else if constexpr (std::is_same_v<N, IsTest>) {
                opt(n.expr);
            } else if constexpr (std::is_same_v<N, InList>) {
                opt(n.expr);
                for (auto& x : n.list) opt(x);
            } else if constexpr (std::is_same_v<N, InSubquery>) {
                opt(n.expr);
                if (n.query) query_children(*n.query, f);
            } else if constexpr (std::is_same_v<N, Between>) {
                opt(n.expr);
                opt(n.low);
                opt(n.high);
            } else if constexpr (std::is_same_v<N, Like>) {
                opt(n.expr);
                opt(n.pattern);
                opt(n.escape);
            } else if constexpr (std::is_same_v<N, Case>) {
                opt(n.operand);
                for (auto& w : n.whens) {
                    opt(w.condition);
                    opt(w.result);
                }
                opt(n.else_result);
            } else if constexpr (std::is_same_v<N, Cast> || std::is_same_v<N, Extract> ||
                                 std::is_same_v<N, Collate>) {
                opt(n.expr);
            } else if constexpr (std::is_same_v<N, SpecialCall>) {
                for (auto& a : n.args) opt(a.expr);
            } else if constexpr (std::is_same_v<N, Function>) {
                for (auto& a : n.args) opt(a.expr);
                for (auto& o : n.order_by) opt(o.expr);
                if (n.subquery) query_children(*n.subquery, f);
                if (n.within_group)
                    for (auto& o : *n.within_group) opt(o.expr);
                opt(n.filter);
                if (n.over) window_children(*n.over, f);
            } else if constexpr (std::is_same_v<N, Exists> || std::is_same_v<N, Subquery>) {
                if (n.query) query_children(*n.query, f);
            } else if constexpr (std::is_same_v<N, Nested>) {
                opt(n.inner);
            } else if constexpr (std::is_same_v<N, Tuple> || std::is_same_v<N, ArrayLit>) {
                for (auto& x : n.items) opt(x);
            } else if constexpr (std::is_same_v<N, Subscript>) {
                opt(n.base);
                opt(n.index);
                opt(n.end);
            } else if constexpr (std::is_same_v<N, PathAccess>) {
                opt(n.base);
                for (auto& s : n.steps) opt(s.index);
            } else if constexpr (std::is_same_v<N, AtTimeZone>) {
                opt(n.expr);
                opt(n.zone);
            } else if constexpr (std::is_same_v<N, Lambda>) {
                opt(n.body);
            } else if constexpr (std::is_same_v<N, FieldAccess>) {
                opt(n.base);
            } else if constexpr (std::is_same_v<N, StructLit>) {
                for (auto& f : n.fields) opt(f.value);
            }
        },
        e.node);
}

void dump_into(std::string& out, const Expr& e) {
    auto sub = [&](std::string_view head, std::initializer_list<const Expr*> xs) {
        out += '(';
        out += head;
        for (const Expr* x : xs) {
            if (!x) continue;
            out += ' ';
            dump_into(out, *x);
        }
        out += ')';
    };
    if (const auto* b = e.as<Binary>()) {
        sub(binary_text(b->op), {b->left.get(), b->right.get()});
    } else if (const auto* u = e.as<Unary>()) {
        sub(u->op == UnaryOp::Not ? "NOT" : u->op == UnaryOp::Minus ? "neg" : u->op == UnaryOp::Plus ? "pos" : "~",
            {u->operand.get()});
    } else if (const auto* n = e.as<Nested>()) {
        sub("paren", {n->inner.get()});
    } else if (const auto* i = e.as<IsTest>()) {
        sub(i->negated ? "IS NOT" : "IS", {i->expr.get()});
    } else if (const auto* d = e.as<IsDistinctFrom>()) {
        sub(d->negated ? "IS NOT DISTINCT FROM" : "IS DISTINCT FROM", {d->left.get(), d->right.get()});
    } else if (const auto* bt = e.as<Between>()) {
        sub(bt->negated ? "NOT BETWEEN" : "BETWEEN", {bt->expr.get(), bt->low.get(), bt->high.get()});
    } else if (const auto* l = e.as<Like>()) {
        sub(like_text(l->op), {l->expr.get(), l->pattern.get(), l->escape.get()});
    } else if (const auto* in = e.as<InList>()) {
        out += in->negated ? "(NOT IN " : "(IN ";
        dump_into(out, *in->expr);
        for (const auto& x : in->list) {
            out += ' ';
            dump_into(out, *x);
        }
        out += ')';
    } else if (const auto* c = e.as<Cast>()) {
        sub(fmt::format("cast {}", c->type.text), {c->expr.get()});
    } else if (const auto* a = e.as<AtTimeZone>()) {
        sub("AT TIME ZONE", {a->expr.get(), a->zone.get()});
    } else if (const auto* co = e.as<Collate>()) {
        sub(fmt::format("COLLATE {}", co->collation), {co->expr.get()});
    } else {
        Printer p;
        p.expr(e);
        out += p.out;
    }
}

}  // namespace

std::string print(const Expr& expr) {
    Printer p;
    p.expr(expr);
    return std::move(p.out);
}

std::string print(const Query& query) {
    Printer p;
    p.query(query);
    return std::move(p.out);
}

std::string dump(const Expr& expr) {
    std::string out;
    dump_into(out, expr);
    return out;
}

void for_each_child(Expr& expr, const std::function<void(ExprPtr&)>& visit) {
    children(expr, [&](ExprPtr& p) { visit(p); });
}

void for_each_child(const Expr& expr, const std::function<void(const Expr&)>& visit) {
    children(expr, [&](const ExprPtr& p) { visit(*p); });
}

void walk(ExprPtr& root, const std::function<void(ExprPtr&)>& visit) {
    if (!root) return;
    children(*root, [&](ExprPtr& p) { walk(p, visit); });
    visit(root);
}

void walk(const Expr& root, const std::function<void(const Expr&)>& visit) {
    children(root, [&](const ExprPtr& p) { walk(*p, visit); });
    visit(root);
}

ExprPtr make(Expr::Node node) { return ExprPtr(Expr{std::move(node)}); }

ExprPtr case_when(ExprPtr condition, ExprPtr result) {
    Case c;
    c.whens.push_back(WhenClause{std::move(condition), std::move(result)});
    return make(std::move(c));
}

ExprPtr and_(ExprPtr left, ExprPtr right) { return make(Binary{BinaryOp::And, std::move(left), std::move(right)}); }

ExprPtr number(std::string text) { return make(NumberLit{std::move(text)}); }

ExprPtr compound(const std::vector<std::string>& parts, char quote) {
    CompoundIdentifier c;
    for (const auto& p : parts) c.parts.push_back(Ident{p, quote});
    return make(std::move(c));
}

ExprPtr copy(const Expr& expr) { return ExprPtr(Expr(expr)); }

}  // namespace korvel::sql
