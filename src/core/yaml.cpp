#include "core/yaml.h"

#include <yaml.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "core/text.h"

namespace korvel {

namespace {

// Model files nest a handful of levels; anything this deep is hostile or broken.
constexpr std::size_t kMaxDepth = 256;
// Content reachable through aliases, counted as bytes of text plus a fixed
// cost per node, so a few lines of anchors cannot expand into gigabytes.
constexpr std::uint64_t kAliasBudget = std::uint64_t{16} << 20;
constexpr std::uint64_t kNodeCost = 48;

// ------------------------------------------------------------ document tree

struct Mark {
    std::size_t line = 1;
    std::size_t column = 1;
};

Mark mark_of(const yaml_mark_t& m) { return {m.line + 1, m.column + 1}; }

std::string position(Mark m) {
    if (m.line == 1 && m.column == 1) return {};
    return fmt::format(" at line {} column {}", m.line, m.column);
}

struct Node {
    enum class Kind { Scalar, Sequence, Mapping, Alias };
    Kind kind = Kind::Scalar;
    Mark mark;
    std::string text;  // scalar text, or the anchor an alias names
    // A plain scalar may be null, a boolean or a number; quoted, block and
    // string-tagged scalars are always texts.
    bool plain = false;
    std::vector<const Node*> items;  // sequence items, or keys and values alternating
    const Node* target = nullptr;    // what an alias refers to
};

// Nodes live in a deque so that pointers stay valid and no destructor recurses.
struct Document {
    std::deque<Node> nodes;
    const Node* root = nullptr;
};

constexpr std::string_view kMultiDocument =
    "deserializing from YAML containing more than one document is not supported";

// Line and column of a byte offset, for the reader errors that carry only an offset.
Mark mark_at_offset(std::string_view text, std::size_t offset) {
    Mark m;
    offset = std::min(offset, text.size());
    for (std::size_t pos = 0; pos < offset;) {
        char c = text[pos];
        if (c == '\n' || (c == '\r' && (pos + 1 >= text.size() || text[pos + 1] != '\n'))) {
            ++m.line;
            m.column = 1;
            ++pos;
        } else {
            next_code_point(text, pos);
            ++m.column;
        }
    }
    return m;
}

std::string parser_error(const yaml_parser_t& p, std::string_view text) {
    if (p.error == YAML_MEMORY_ERROR) return "out of memory while reading YAML";
    std::string problem = p.problem ? p.problem : "malformed YAML";
    if (p.error == YAML_READER_ERROR) {
        if (p.problem_value != -1) problem += fmt::format(" #{:02X}", static_cast<unsigned>(p.problem_value));
        return problem + position(mark_at_offset(text, p.problem_offset));
    }
    std::string out = problem + position(mark_of(p.problem_mark));
    if (p.context) out += fmt::format(", {}{}", p.context, position(mark_of(p.context_mark)));
    return out;
}

bool forces_text(const yaml_char_t* tag) {
    if (!tag) return false;
    const char* t = reinterpret_cast<const char*>(tag);
    return std::strcmp(t, "!") == 0 || std::strcmp(t, YAML_STR_TAG) == 0;
}

class Composer {
public:
    explicit Composer(std::string_view text) : text_(text) {}

    Result<Document, std::string> run() {
        yaml_parser_t parser;
        if (!yaml_parser_initialize(&parser)) return fail(std::string("out of memory while reading YAML"));
        yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text_.data()),
                                     text_.size());
        yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
        auto result = loop(parser);
        yaml_parser_delete(&parser);
        if (!result.empty()) return fail(std::move(result));
        return std::move(doc_);
    }

private:
    struct Open {
        Node* node;
        std::string anchor;
    };

    // Returns an error message, or an empty text when the stream was read.
    std::string loop(yaml_parser_t& parser) {
        int documents = 0;
        for (;;) {
            yaml_event_t ev;
            if (!yaml_parser_parse(&parser, &ev)) return parser_error(parser, text_);
            std::string err = handle(ev, documents);
            bool end = ev.type == YAML_STREAM_END_EVENT;
            yaml_event_delete(&ev);
            if (!err.empty()) return err;
            if (end) return {};
        }
    }

    std::string handle(const yaml_event_t& ev, int& documents) {
        switch (ev.type) {
            case YAML_DOCUMENT_START_EVENT:
                if (++documents > 1) return std::string(kMultiDocument);
                return {};
            case YAML_ALIAS_EVENT: {
                std::string name = reinterpret_cast<const char*>(ev.data.alias.anchor);
                auto it = anchors_.find(name);
                if (it == anchors_.end())
                    return fmt::format("unknown anchor `{}`{}", name, position(mark_of(ev.start_mark)));
                Node& n = make(Node::Kind::Alias, ev.start_mark);
                n.text = std::move(name);
                n.target = it->second;
                attach(n);
                return {};
            }
            case YAML_SCALAR_EVENT: {
                const auto& s = ev.data.scalar;
                Node& n = make(Node::Kind::Scalar, ev.start_mark);
                n.text.assign(reinterpret_cast<const char*>(s.value), s.length);
                n.plain = s.style == YAML_PLAIN_SCALAR_STYLE && !forces_text(s.tag);
                attach(n);
                if (s.anchor) anchors_[reinterpret_cast<const char*>(s.anchor)] = &n;
                return {};
            }
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT: {
                if (open_.size() >= kMaxDepth)
                    return fmt::format("nesting deeper than {} levels is not supported{}", kMaxDepth,
                                       position(mark_of(ev.start_mark)));
                bool seq = ev.type == YAML_SEQUENCE_START_EVENT;
                Node& n = make(seq ? Node::Kind::Sequence : Node::Kind::Mapping, ev.start_mark);
                const yaml_char_t* anchor = seq ? ev.data.sequence_start.anchor : ev.data.mapping_start.anchor;
                open_.push_back({&n, anchor ? reinterpret_cast<const char*>(anchor) : ""});
                return {};
            }
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT: {
                Open done = std::move(open_.back());
                open_.pop_back();
                attach(*done.node);
                // Registered only once complete, so an alias inside its own
                // anchor's node is unknown and no cycle can be built.
                if (!done.anchor.empty()) anchors_[done.anchor] = done.node;
                return {};
            }
            default:
                return {};
        }
    }

    Node& make(Node::Kind kind, const yaml_mark_t& mark) {
        Node& n = doc_.nodes.emplace_back();
        n.kind = kind;
        n.mark = mark_of(mark);
        return n;
    }

    void attach(const Node& n) {
        if (open_.empty())
            doc_.root = &n;
        else
            open_.back().node->items.push_back(&n);
    }

    std::string_view text_;
    Document doc_;
    std::vector<Open> open_;
    std::map<std::string, const Node*, std::less<>> anchors_;
};

// ------------------------------------------------------------ scalar words

bool is_null_word(std::string_view s) {
    return s.empty() || s == "~" || s == "null" || s == "Null" || s == "NULL";
}

std::optional<bool> bool_word(std::string_view s) {
    if (s == "true" || s == "True" || s == "TRUE") return true;
    if (s == "false" || s == "False" || s == "FALSE") return false;
    return std::nullopt;
}

struct Integer {
    bool negative = false;
    bool overflow = false;  // magnitude beyond 64 bits
    std::uint64_t magnitude = 0;
    std::string_view written;  // without a leading '+'

    std::string text() const {
        if (overflow) return std::string(written);
        return negative && magnitude != 0 ? fmt::format("-{}", magnitude) : fmt::format("{}", magnitude);
    }
};

// Decimal with an optional sign, 0x hexadecimal and 0o octal.
std::optional<Integer> parse_integer(std::string_view s) {
    Integer out;
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        out.negative = body[0] == '-';
        body.remove_prefix(1);
        if (!out.negative) s.remove_prefix(1);
    }
    out.written = s;
    unsigned base = 10;
    if (!out.negative && s.size() == body.size() && body.size() > 2 && body[0] == '0' &&
        (body[1] == 'x' || body[1] == 'o')) {
        base = body[1] == 'x' ? 16 : 8;
        body.remove_prefix(2);
    }
    if (body.empty()) return std::nullopt;
    for (char c : body) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (d >= base) return std::nullopt;
        if (out.magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / base)
            out.overflow = true;
        else
            out.magnitude = out.magnitude * base + d;
    }
    return out;
}

std::optional<double> parse_float(std::string_view s) {
    std::string_view body = s;
    bool negative = false;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (body == ".inf" || body == ".Inf" || body == ".INF")
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    if (s == ".nan" || s == ".NaN" || s == ".NAN") return std::numeric_limits<double>::quiet_NaN();
    // [0-9]+(\.[0-9]*)? or \.[0-9]+, then an optional exponent
    std::size_t i = 0, digits = 0;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
    if (i < body.size() && body[i] == '.') {
        ++i;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    bool negative_exponent = false;
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        ++i;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative_exponent = body[i++] == '-';
        std::size_t start = i;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i;
        if (i == start) return std::nullopt;
    }
    if (i != body.size()) return std::nullopt;
    double value = 0;
    auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = negative_exponent ? 0.0 : std::numeric_limits<double>::infinity();
    else if (ec != std::errc() || ptr != body.data() + body.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::string float_text(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    std::string s = fmt::format("{}", d);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quote_text(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                    out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
                else
                    out += c;
        }
    }
    return out + "\"";
}

// What was found, in the words of "invalid type" and "invalid value" messages.
std::string describe(const Node& n) {
    if (n.kind == Node::Kind::Sequence) return "sequence";
    if (n.kind == Node::Kind::Mapping) return "map";
    if (n.plain) {
        if (is_null_word(n.text)) return "null";
        if (auto b = bool_word(n.text)) return fmt::format("boolean `{}`", *b ? "true" : "false");
        if (auto i = parse_integer(n.text)) return fmt::format("integer `{}`", i->text());
        if (auto f = parse_float(n.text)) return fmt::format("floating point `{}`", float_text(*f));
    }
    return "string " + quote_text(n.text);
}

std::string invalid_type(const Node& n, std::string_view expected) {
    return fmt::format("invalid type: {}, expected {}", describe(n), expected);
}

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`"
template <class Names>
std::string candidates(const Names& names) {
    if (names.size() == 2) return fmt::format("`{}` or `{}`", names[0], names[1]);
    std::string out = names.size() > 2 ? "one of " : "";
    for (std::size_t i = 0; i < names.size(); ++i) out += fmt::format("{}`{}`", i ? ", " : "", names[i]);
    return out;
}

// ------------------------------------------------------------ record reading

class Reader {
public:
    std::string error;

    // Key names or item indices leading to the node being read.
    std::vector<std::variant<std::string_view, std::size_t>> path;

    bool fail_at(Mark m, std::string_view message) {
        std::string loc;
        for (const auto& seg : path) {
            if (const auto* key = std::get_if<std::string_view>(&seg))
                loc += fmt::format("{}{}", loc.empty() ? "" : ".", *key);
            else
                loc += fmt::format("[{}]", std::get<std::size_t>(seg));
        }
        error = fmt::format("{}{}{}", loc.empty() ? "" : loc + ": ", message, position(m));
        return false;
    }

    // Reading one node: an alias stands for its target, placed where the
    // alias is written. Everything visited inside an alias is charged.
    class Entry {
    public:
        Entry(Reader& r, const Node* n) : r_(r), node(n), mark(n->mark) {
            if (n->kind == Node::Kind::Alias) {
                node = n->target;
                aliased_ = true;
                ++r_.alias_depth_;
            }
            if (r_.alias_depth_ > 0) {
                r_.spent_ += kNodeCost + node->text.size();
                if (r_.spent_ > kAliasBudget)
                    ok_ = r_.fail_at(mark, fmt::format("aliases expand to more than {} bytes of content",
                                                       kAliasBudget));
            }
        }
        ~Entry() {
            if (aliased_) --r_.alias_depth_;
        }
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;
        explicit operator bool() const { return ok_; }

    private:
        Reader& r_;
        bool aliased_ = false;
        bool ok_ = true;

    public:
        const Node* node;
        Mark mark;
    };

private:
    int alias_depth_ = 0;
    std::uint64_t spent_ = 0;
};

using Entry = Reader::Entry;

bool no_value(const Node& n) { return n.kind == Node::Kind::Scalar && n.plain && n.text.empty(); }
bool is_null(const Node& n) { return n.kind == Node::Kind::Scalar && n.plain && is_null_word(n.text); }

// Each reader of a kind comes in two steps: entering the node (following an
// alias) and reading the entered node, so optional fields enter only once.

bool text_value(Reader& r, const Entry& e, std::string& out) {
    if (e.node->kind != Node::Kind::Scalar) return r.fail_at(e.mark, invalid_type(*e.node, "a string"));
    out = e.node->text;
    return true;
}

bool read_text(Reader& r, const Node* node, std::string& out) {
    Entry e(r, node);
    return e && text_value(r, e, out);
}

bool read_opt_text(Reader& r, const Node* node, OptText& out) {
    Entry e(r, node);
    if (!e) return false;
    if (is_null(*e.node)) {
        out.reset();
        return true;
    }
    return text_value(r, e, out.emplace());
}

bool read_bool(Reader& r, const Node* node, bool& out) {
    Entry e(r, node);
    if (!e) return false;
    if (e.node->kind == Node::Kind::Scalar && e.node->plain) {
        if (auto b = bool_word(e.node->text)) {
            out = *b;
            return true;
        }
    }
    return r.fail_at(e.mark, invalid_type(*e.node, "a boolean"));
}

template <class U>
bool unsigned_value(Reader& r, const Entry& e, U& out, std::string_view expected) {
    if (e.node->kind == Node::Kind::Scalar && e.node->plain) {
        if (auto i = parse_integer(e.node->text)) {
            if (i->negative && (i->magnitude != 0 || i->overflow))
                return r.fail_at(e.mark, invalid_type(*e.node, expected));
            if (i->overflow || i->magnitude > std::numeric_limits<U>::max())
                return r.fail_at(e.mark,
                                 fmt::format("invalid value: integer `{}`, expected {}", i->text(), expected));
            out = static_cast<U>(i->magnitude);
            return true;
        }
    }
    return r.fail_at(e.mark, invalid_type(*e.node, expected));
}

bool read_u32(Reader& r, const Node* node, std::uint32_t& out) {
    Entry e(r, node);
    return e && unsigned_value(r, e, out, "u32");
}

bool read_opt_u16(Reader& r, const Node* node, std::optional<std::uint16_t>& out) {
    Entry e(r, node);
    if (!e) return false;
    if (is_null(*e.node)) {
        out.reset();
        return true;
    }
    return unsigned_value(r, e, out.emplace(), "u16");
}

template <class E>
struct EnumLabel;
template <> struct EnumLabel<Status> { static constexpr std::string_view name = "enum Status"; };
template <> struct EnumLabel<Classification> { static constexpr std::string_view name = "enum Classification"; };
template <> struct EnumLabel<Cardinality> { static constexpr std::string_view name = "enum Cardinality"; };
template <> struct EnumLabel<TimeGrain> { static constexpr std::string_view name = "enum TimeGrain"; };
template <> struct EnumLabel<SourceFormat> { static constexpr std::string_view name = "enum SourceFormat"; };
template <> struct EnumLabel<ConnectionKind> { static constexpr std::string_view name = "enum ConnectionKind"; };

template <class E>
bool read_enum(Reader& r, const Node* node, E& out) {
    Entry e(r, node);
    if (!e) return false;
    if (e.node->kind != Node::Kind::Scalar) return r.fail_at(e.mark, invalid_type(*e.node, EnumLabel<E>::name));
    if (auto v = parse_written<E>(e.node->text)) {
        out = *v;
        return true;
    }
    return r.fail_at(e.mark, fmt::format("unknown variant `{}`, expected {}", e.node->text,
                                         candidates(EnumNames<E>::written)));
}

template <class T, class ItemReader>
bool read_list(Reader& r, const Node* node, std::vector<T>& out, ItemReader item) {
    Entry e(r, node);
    if (!e) return false;
    if (no_value(*e.node)) return true;
    if (e.node->kind != Node::Kind::Sequence) return r.fail_at(e.mark, invalid_type(*e.node, "a sequence"));
    out.clear();
    out.reserve(e.node->items.size());
    for (std::size_t i = 0; i < e.node->items.size(); ++i) {
        r.path.emplace_back(i);
        bool ok = item(r, e.node->items[i], out.emplace_back());
        r.path.pop_back();
        if (!ok) return false;
    }
    return true;
}

template <class T>
struct Field {
    std::string_view name;
    bool required;
    bool (*read)(Reader&, const Node*, T&);
};

template <class T>
struct RecordSpec;

template <class T>
bool record_value(Reader& r, const Entry& e, T& out) {
    using Record = RecordSpec<T>;
    constexpr std::size_t n = Record::fields.size();
    std::array<bool, n> seen{};
    // A key with no value reads as an empty mapping.
    if (!no_value(*e.node)) {
        if (e.node->kind != Node::Kind::Mapping) return r.fail_at(e.mark, invalid_type(*e.node, Record::expected));
        const auto& items = e.node->items;
        for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
            std::size_t index = n;
            {
                Entry key(r, items[i]);
                if (!key) return false;
                if (key.node->kind != Node::Kind::Scalar)
                    return r.fail_at(key.mark, invalid_type(*key.node, "field identifier"));
                const std::string& name = key.node->text;
                for (std::size_t f = 0; f < n; ++f)
                    if (Record::fields[f].name == name) index = f;
                if (index == n) {
                    std::array<std::string_view, n> names;
                    for (std::size_t f = 0; f < n; ++f) names[f] = Record::fields[f].name;
                    return r.fail_at(key.mark, fmt::format("unknown field `{}`, expected {}", name, candidates(names)));
                }
                if (seen[index]) return r.fail_at(e.mark, fmt::format("duplicate field `{}`", name));
                seen[index] = true;
            }
            r.path.emplace_back(Record::fields[index].name);
            bool ok = Record::fields[index].read(r, items[i + 1], out);
            r.path.pop_back();
            if (!ok) return false;
        }
    }
    for (std::size_t f = 0; f < n; ++f)
        if (Record::fields[f].required && !seen[f])
            return r.fail_at(e.mark, fmt::format("missing field `{}`", Record::fields[f].name));
    return true;
}

template <class T>
bool read_record(Reader& r, const Node* node, T& out) {
    Entry e(r, node);
    return e && record_value(r, e, out);
}

template <class T>
bool read_opt_record(Reader& r, const Node* node, std::optional<T>& out) {
    Entry e(r, node);
    if (!e) return false;
    if (is_null(*e.node)) {
        out.reset();
        return true;
    }
    return record_value(r, e, out.emplace());
}

bool read_connections(Reader& r, const Node* node, std::map<std::string, Connection>& out) {
    Entry e(r, node);
    if (!e) return false;
    if (no_value(*e.node)) return true;
    if (e.node->kind != Node::Kind::Mapping) return r.fail_at(e.mark, invalid_type(*e.node, "a map"));
    out.clear();
    const auto& items = e.node->items;
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
        std::string name;
        if (!read_text(r, items[i], name)) return false;
        // A name given twice keeps its later definition.
        Connection c;
        r.path.emplace_back(name);
        bool ok = read_record(r, items[i + 1], c);
        r.path.pop_back();
        if (!ok) return false;
        out.insert_or_assign(std::move(name), std::move(c));
    }
    return true;
}

// Field readers, one per record field, in declaration order.
#define KORVEL_FIELD(T, name, required, call) \
    Field<T> { #name, required, [](Reader& r, const Node* n, T& o) { return call(r, n, o.name); } }
#define KORVEL_LIST(T, name, required, item) \
    Field<T> { #name, required, [](Reader& r, const Node* n, T& o) { return read_list(r, n, o.name, item); } }

bool text_item(Reader& r, const Node* n, std::string& out) { return read_text(r, n, out); }
bool grain_item(Reader& r, const Node* n, TimeGrain& out) { return read_enum(r, n, out); }
template <class T>
bool record_item(Reader& r, const Node* n, T& out) {
    return read_record(r, n, out);
}

template <>
struct RecordSpec<Deprecation> {
    static constexpr std::string_view expected = "struct Deprecation";
    static constexpr std::array fields{
        KORVEL_FIELD(Deprecation, note, true, read_text),
        KORVEL_FIELD(Deprecation, replaced_by, false, read_opt_text),
    };
};

template <>
struct RecordSpec<Table> {
    static constexpr std::string_view expected = "struct Table";
    static constexpr std::array fields{
        KORVEL_FIELD(Table, name, true, read_text),
        KORVEL_FIELD(Table, description, false, read_opt_text),
        KORVEL_FIELD(Table, grain, false, read_opt_text),
        KORVEL_FIELD(Table, owner, false, read_opt_text),
        KORVEL_FIELD(Table, status, false, read_enum),
        KORVEL_FIELD(Table, deprecation, false, read_opt_record),
        KORVEL_LIST(Table, tags, false, text_item),
    };
};

template <>
struct RecordSpec<Column> {
    static constexpr std::string_view expected = "struct Column";
    static constexpr std::array fields{
        KORVEL_FIELD(Column, name, true, read_text),
        KORVEL_FIELD(Column, type, true, read_text),
        KORVEL_FIELD(Column, description, false, read_opt_text),
        KORVEL_FIELD(Column, classification, false, read_enum),
        KORVEL_LIST(Column, synonyms, false, text_item),
        KORVEL_FIELD(Column, primary_key, false, read_bool),
        KORVEL_FIELD(Column, time_dimension, false, read_bool),
        KORVEL_FIELD(Column, deprecated, false, read_opt_record),
    };
};

template <>
struct RecordSpec<Metric> {
    static constexpr std::string_view expected = "struct Metric";
    static constexpr std::array fields{
        KORVEL_FIELD(Metric, name, true, read_text),
        KORVEL_FIELD(Metric, expr, true, read_text),
        KORVEL_FIELD(Metric, description, false, read_opt_text),
        KORVEL_FIELD(Metric, context, false, read_opt_text),
        KORVEL_LIST(Metric, example_queries, false, text_item),
        KORVEL_LIST(Metric, filters, false, text_item),
        KORVEL_FIELD(Metric, time_dimension, false, read_opt_text),
        KORVEL_LIST(Metric, valid_grains, false, grain_item),
        KORVEL_FIELD(Metric, deprecated, false, read_opt_record),
    };
};

template <>
struct RecordSpec<Source> {
    static constexpr std::string_view expected = "struct Source";
    static constexpr std::array fields{
        KORVEL_FIELD(Source, format, true, read_enum),
        KORVEL_FIELD(Source, location, false, read_opt_text),
        KORVEL_FIELD(Source, connection, false, read_opt_text),
        KORVEL_FIELD(Source, schema, false, read_opt_text),
        KORVEL_FIELD(Source, relation, false, read_opt_text),
    };
};

template <>
struct RecordSpec<View> {
    static constexpr std::string_view expected = "struct View";
    static constexpr std::array fields{
        KORVEL_FIELD(View, name, true, read_text),
        KORVEL_FIELD(View, description, false, read_opt_text),
        KORVEL_FIELD(View, sql, true, read_text),
    };
};

template <>
struct RecordSpec<JoinColumns> {
    static constexpr std::string_view expected = "struct JoinColumns";
    static constexpr std::array fields{
        KORVEL_FIELD(JoinColumns, local, true, read_text),
        KORVEL_FIELD(JoinColumns, remote, true, read_text),
    };
};

template <>
struct RecordSpec<Relationship> {
    static constexpr std::string_view expected = "struct Relationship";
    static constexpr std::array fields{
        KORVEL_FIELD(Relationship, to, true, read_text),
        KORVEL_FIELD(Relationship, type, true, read_enum),
        KORVEL_FIELD(Relationship, on, false, read_opt_text),
        KORVEL_FIELD(Relationship, columns, false, read_opt_record),
    };
};

template <>
struct RecordSpec<Model> {
    static constexpr std::string_view expected = "struct Model";
    static constexpr std::array fields{
        KORVEL_FIELD(Model, version, true, read_u32),
        KORVEL_FIELD(Model, source, true, read_record),
        KORVEL_FIELD(Model, table, true, read_record),
        KORVEL_LIST(Model, columns, false, record_item<Column>),
        KORVEL_LIST(Model, metrics, false, record_item<Metric>),
        KORVEL_LIST(Model, relationships, false, record_item<Relationship>),
        KORVEL_LIST(Model, views, false, record_item<View>),
        KORVEL_FIELD(Model, context, false, read_opt_text),
    };
};

template <>
struct RecordSpec<ProjectInfo> {
    static constexpr std::string_view expected = "struct ProjectInfo";
    static constexpr std::array fields{
        KORVEL_FIELD(ProjectInfo, name, true, read_text),
        KORVEL_FIELD(ProjectInfo, description, false, read_opt_text),
        KORVEL_FIELD(ProjectInfo, owner, false, read_opt_text),
    };
};

template <>
struct RecordSpec<Connection> {
    static constexpr std::string_view expected = "struct Connection";
    static constexpr std::array fields{
        KORVEL_FIELD(Connection, kind, true, read_enum),
        KORVEL_FIELD(Connection, dsn_env, false, read_opt_text),
        KORVEL_FIELD(Connection, host, false, read_opt_text),
        KORVEL_FIELD(Connection, port, false, read_opt_u16),
        KORVEL_FIELD(Connection, database, false, read_opt_text),
    };
};

template <>
struct RecordSpec<Manifest> {
    static constexpr std::string_view expected = "struct Manifest";
    static constexpr std::array fields{
        KORVEL_FIELD(Manifest, korvel, true, read_u32),
        KORVEL_FIELD(Manifest, project, true, read_record),
        KORVEL_LIST(Manifest, models, true, text_item),
        KORVEL_FIELD(Manifest, connections, false, read_connections),
    };
};

#undef KORVEL_FIELD
#undef KORVEL_LIST

template <class T>
Result<T, std::string> read_document(std::string_view text) {
    auto doc = Composer(text).run();
    if (!doc) return fail(std::move(doc.error()));
    // No document at all (empty text, only comments) reads as an empty mapping.
    Node empty;
    empty.plain = true;
    Reader r;
    T out;
    if (!read_record(r, doc->root ? doc->root : &empty, out)) return fail(std::move(r.error));
    return out;
}

}  // namespace

Result<Model, std::string> read_model(std::string_view text) { return read_document<Model>(text); }

Result<Manifest, std::string> read_manifest(std::string_view text) { return read_document<Manifest>(text); }

}  // namespace korvel
