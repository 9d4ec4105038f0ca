#include "sql/error.h"

#include <fmt/format.h>

#include "core/json.h"
#include "core/text.h"

namespace korvel::sql {

namespace {

template <class... F>
struct Overload : F... {
    using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

constexpr std::string_view kCodes[] = {
    "no_metrics",          "unknown_metric", "metrics_span_tables", "unknown_dimension",
    "ambiguous_dimension", "no_join_path",   "fan_out_join",        "unknown_sort_field",
    "incompatible_grain",  "no_time_dimension", "bad_expression",
};
static_assert(std::size(kCodes) == std::variant_size_v<QueryError::Variant>);

// Writes `,"key":` then the value; the object's opening brace and code come first.
struct ObjectWriter {
    std::string out;

    void key(std::string_view k) {
        out += ',';
        json::write_string(out, k);
        out += ':';
    }
    void text(std::string_view k, std::string_view v) {
        key(k);
        json::write_string(out, v);
    }
    void texts(std::string_view k, const Texts& items) {
        key(k);
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i) out += ',';
            json::write_string(out, items[i]);
        }
        out += ']';
    }
};

std::string list(const Texts& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += debug_quoted(items[i]);
    }
    out += ']';
    return out;
}

std::string hint(const Texts& suggestions) {
    if (suggestions.empty()) return {};
    return "; did you mean one of " + list(suggestions);
}

}  // namespace

std::string debug_quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        char32_t c = next_code_point(text, pos);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case 0: out += "\\0"; continue;
            default: break;
        }
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) {
            fmt::format_to(std::back_inserter(out), "\\u{{{:x}}}", static_cast<std::uint32_t>(c));
        } else if (c == 0xFFFD) {
            out += "\xEF\xBF\xBD";  // invalid bytes show as the replacement character
        } else {
            out.append(text.substr(start, pos - start));
        }
    }
    out += '"';
    return out;
}

std::string_view QueryError::code() const { return kCodes[v.index()]; }

std::string QueryError::to_json() const {
    ObjectWriter w;
    w.out.reserve(128);
    w.out += "{\"code\":";
    json::write_string(w.out, code());
    std::visit(Overload{
                   [](const NoMetrics&) {},
                   [&](const UnknownMetric& e) {
                       w.text("name", e.name);
                       w.texts("suggestions", e.suggestions);
                   },
                   [&](const MetricsSpanTables& e) { w.texts("tables", e.tables); },
                   [&](const UnknownDimension& e) {
                       w.text("name", e.name);
                       w.texts("suggestions", e.suggestions);
                   },
                   [&](const AmbiguousDimension& e) {
                       w.text("name", e.name);
                       w.texts("candidates", e.candidates);
                   },
                   [&](const NoJoinPath& e) {
                       w.text("from", e.from);
                       w.text("to", e.to);
                   },
                   [&](const FanOutJoin& e) {
                       w.text("from", e.from);
                       w.text("to", e.to);
                   },
                   [&](const UnknownSortField& e) {
                       w.text("name", e.name);
                       w.texts("available", e.available);
                   },
                   [&](const IncompatibleGrain& e) {
                       w.text("metric", e.metric);
                       w.text("grain", written(e.grain));
                       Texts valid;
                       for (auto g : e.valid) valid.emplace_back(written(g));
                       w.texts("valid", valid);
                   },
                   [&](const NoTimeDimension& e) { w.text("table", e.table); },
                   [&](const BadExpression& e) {
                       w.text("expr", e.expr);
                       w.text("message", e.message);
                   },
               },
               v);
    w.out += '}';
    return std::move(w.out);
}

std::string QueryError::text() const {
    return std::visit(
        Overload{
            [](const NoMetrics&) -> std::string { return "no metrics requested"; },
            [](const UnknownMetric& e) {
                return fmt::format("unknown metric `{}`{}", e.name, hint(e.suggestions));
            },
            [](const MetricsSpanTables& e) {
                return fmt::format(
                    "metrics span multiple base tables ({}); query one table's metrics at a time",
                    list(e.tables));
            },
            [](const UnknownDimension& e) {
                return fmt::format("unknown dimension `{}`{}", e.name, hint(e.suggestions));
            },
            [](const AmbiguousDimension& e) {
                return fmt::format("dimension `{}` is ambiguous; qualify it as one of {}", e.name,
                                   list(e.candidates));
            },
            [](const NoJoinPath& e) {
                return fmt::format("no join path from `{}` to `{}` in the relationship graph", e.from,
                                   e.to);
            },
            [](const FanOutJoin& e) {
                return fmt::format(
                    "joining `{0}` to `{1}` fans out (one `{0}` row can match many `{1}` rows), which "
                    "would inflate the requested aggregates; define the metric on `{1}` instead, or "
                    "aggregate `{1}` separately",
                    e.from, e.to);
            },
            [](const UnknownSortField& e) {
                return fmt::format("unknown sort field `{}`; sortable fields in this query: {}", e.name,
                                   list(e.available));
            },
            [](const IncompatibleGrain& e) {
                std::string valid;
                for (std::size_t i = 0; i < e.valid.size(); ++i) {
                    if (i) valid += ", ";
                    valid += written(e.valid[i]);
                }
                return fmt::format("metric `{}` is not valid at grain `{}`; valid grains: {}", e.metric,
                                   written(e.grain), valid);
            },
            [](const NoTimeDimension& e) {
                return fmt::format(
                    "a time grain was requested but table `{}` has no time dimension column", e.table);
            },
            [](const BadExpression& e) {
                return fmt::format("failed to parse SQL expression `{}`: {}", e.expr, e.message);
            },
        },
        v);
}

}  // namespace korvel::sql
