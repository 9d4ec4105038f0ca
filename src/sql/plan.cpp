#include "sql/plan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "core/text.h"

namespace korvel::sql::plan {

// ------------------------------------------------------------ reader messages

namespace {

using json::Value;

// Plain decimal digits of a finite float (no exponent), always with a fraction.
std::string float_text(double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
    std::string out;
    if (!sci.empty() && sci.front() == '-') {
        out += '-';
        sci.remove_prefix(1);
    }
    auto e = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e))
        if (c != '.') digits += c;
    int exp = 0;
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+'), sci.data() + sci.size(), exp);
    // The value is 0.digits * 10^(exp + 1).
    int point = exp + 1;
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        out += digits;
        out.append(static_cast<std::size_t>(point) - digits.size(), '0');
        out += ".0";
    } else {
        out += digits.substr(0, static_cast<std::size_t>(point));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(point));
    }
    return out;
}

std::string found(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return "null";
        case Value::Kind::Bool: return fmt::format("boolean `{}`", v.as_bool());
        case Value::Kind::UInt: return fmt::format("integer `{}`", v.as_uint());
        case Value::Kind::Int: return fmt::format("integer `{}`", v.as_int());
        case Value::Kind::Float: return fmt::format("floating point `{}`", float_text(v.as_float()));
        case Value::Kind::String: return "string " + debug_quoted(v.as_string());
        case Value::Kind::Array: return "sequence";
        case Value::Kind::Object: return "map";
    }
    return "value";
}

std::string invalid_type(const Value& v, std::string_view expected) {
    return fmt::format("invalid type: {}, expected {}", found(v), expected);
}

template <std::size_t N>
std::string expected_list(const std::array<std::string_view, N>& names) {
    if constexpr (N == 2) {
        return fmt::format("`{}` or `{}`", names[0], names[1]);
    } else {
        std::string out = "one of ";
        for (std::size_t i = 0; i < N; ++i) {
            if (i) out += ", ";
            fmt::format_to(std::back_inserter(out), "`{}`", names[i]);
        }
        return out;
    }
}

constexpr std::array<std::string_view, 6> kQueryFields{"metrics", "dimensions", "filters",
                                                       "grain",   "order_by",   "limit"};
constexpr std::array<std::string_view, 2> kOrderByFields{"field", "desc"};

using Fail = std::optional<std::string>;

Fail read_texts(const Value& v, std::vector<std::string>& out) {
    if (!v.is_array()) return invalid_type(v, "a sequence");
    out.clear();
    out.reserve(v.as_array().size());
    for (const auto& item : v.as_array()) {
        if (!item.is_string()) return invalid_type(item, "a string");
        out.push_back(item.as_string());
    }
    return std::nullopt;
}

Fail read_grain_name(std::string_view text, std::optional<TimeGrain>& out) {
    out = parse_written<TimeGrain>(text);
    if (!out)
        return fmt::format("unknown variant `{}`, expected {}", text,
                           expected_list(EnumNames<TimeGrain>::written));
    return std::nullopt;
}

Fail read_grain(const Value& v, std::optional<TimeGrain>& out) {
    if (v.is_null()) {
        out.reset();
        return std::nullopt;
    }
    if (v.is_string()) return read_grain_name(v.as_string(), out);
    if (v.is_object()) {
        const auto& members = v.as_object();
        if (members.size() != 1) return std::string("invalid value: map, expected map with a single key");
        const auto& [name, payload] = *members.begin();
        if (auto f = read_grain_name(name, out)) return f;
        // A grain carries no data: its one member's value must be null.
        if (!payload.is_null()) {
            out.reset();
            return invalid_type(payload, "unit");
        }
        return std::nullopt;
    }
    return invalid_type(v, "string or map");
}

Fail read_limit(const Value& v, std::optional<std::uint64_t>& out) {
    if (v.is_null()) {
        out.reset();
        return std::nullopt;
    }
    if (v.is_uint()) {
        out = v.as_uint();
        return std::nullopt;
    }
    if (v.is_int()) return fmt::format("invalid value: {}, expected u64", found(v));
    return invalid_type(v, "u64");
}

Fail read_order_list(const Value& v, std::vector<OrderBy>& out) {
    if (!v.is_array()) return invalid_type(v, "a sequence");
    out.clear();
    out.reserve(v.as_array().size());
    for (const auto& item : v.as_array()) {
        auto r = read_order_by(item);
        if (!r) return std::move(r).error();
        out.push_back(std::move(r).value());
    }
    return std::nullopt;
}

Fail read_query_field(std::size_t index, const Value& v, Query& q) {
    switch (index) {
        case 0: return read_texts(v, q.metrics);
        case 1: return read_texts(v, q.dimensions);
        case 2: return read_texts(v, q.filters);
        case 3: return read_grain(v, q.grain);
        case 4: return read_order_list(v, q.order_by);
        default: return read_limit(v, q.limit);
    }
}

Fail read_order_field(std::size_t index, const Value& v, OrderBy& o) {
    if (index == 0) {
        if (!v.is_string()) return invalid_type(v, "a string");
        o.field = v.as_string();
        return std::nullopt;
    }
    if (!v.is_bool()) return invalid_type(v, "a boolean");
    o.desc = v.as_bool();
    return std::nullopt;
}

// The shared shape of both records: an object read by key (members in byte
// order, missing required field reported last), an array read by position
// (all fields but the first may be left off), anything else refused.
template <class T, std::size_t N, class ReadField>
Result<T, std::string> read_record(const Value& value, const std::array<std::string_view, N>& fields,
                                   std::string_view struct_name, ReadField read_field) {
    T record{};
    if (value.is_object()) {
        bool have_first = false;
        for (const auto& [key, member] : value.as_object()) {
            auto it = std::find(fields.begin(), fields.end(), key);
            if (it == fields.end())
                return fail(fmt::format("unknown field `{}`, expected {}", key, expected_list(fields)));
            auto index = static_cast<std::size_t>(it - fields.begin());
            if (auto f = read_field(index, member, record)) return fail(std::move(*f));
            if (index == 0) have_first = true;
        }
        if (!have_first) return fail(fmt::format("missing field `{}`", fields[0]));
        return record;
    }
    if (value.is_array()) {
        const auto& items = value.as_array();
        if (items.empty())
            return fail(fmt::format("invalid length 0, expected {} with {} elements", struct_name, N));
        for (std::size_t i = 0; i < items.size() && i < N; ++i)
            if (auto f = read_field(i, items[i], record)) return fail(std::move(*f));
        if (items.size() > N)
            return fail(fmt::format("invalid length {}, expected fewer elements in array", items.size()));
        return record;
    }
    return fail(invalid_type(value, struct_name));
}

}  // namespace

Result<Query, std::string> read_query(const json::Value& value) {
    return read_record<Query>(value, kQueryFields, "struct Query", read_query_field);
}

Result<OrderBy, std::string> read_order_by(const json::Value& value) {
    return read_record<OrderBy>(value, kOrderByFields, "struct OrderBy", read_order_field);
}

// ------------------------------------------------------------ suggestions

namespace {

std::vector<char32_t> code_points(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) out.push_back(next_code_point(s, pos));
    return out;
}

}  // namespace

std::size_t levenshtein(std::string_view a, std::string_view b) {
    auto ca = code_points(a);
    auto cb = code_points(b);
    std::vector<std::size_t> row(cb.size() + 1);
    for (std::size_t j = 0; j <= cb.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= ca.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= cb.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diag + (ca[i - 1] == cb[j - 1] ? 0 : 1)});
            diag = above;
        }
    }
    return row[cb.size()];
}

namespace {

std::size_t bounded_distance(const std::vector<char32_t>& ca, const std::vector<char32_t>& cb, std::size_t limit) {
    const std::size_t cap = limit + 1;
    const std::size_t n = ca.size(), m = cb.size();
    if ((n > m ? n - m : m - n) > limit) return cap;
    // Only cells with |i - j| <= limit can hold a value within the limit;
    // everything outside the band counts as `cap`.
    std::vector<std::size_t> row(m + 1, cap), next(m + 1, cap);
    for (std::size_t j = 0; j <= std::min(m, limit); ++j) row[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        std::size_t lo = i > limit ? i - limit : 0;
        std::size_t hi = std::min(m, i + limit);
        // Cells right of the band were never written; the left neighbour may be stale.
        if (lo > 0) next[lo - 1] = cap;
        std::size_t best = cap;
        for (std::size_t j = lo; j <= hi; ++j) {
            std::size_t v;
            if (j == 0) {
                v = i;
            } else {
                v = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (ca[i - 1] == cb[j - 1] ? 0 : 1)});
            }
            next[j] = std::min(v, cap);
            best = std::min(best, next[j]);
        }
        if (best >= cap) return cap;
        std::swap(row, next);
    }
    return std::min(row[m], cap);
}

}  // namespace

std::size_t levenshtein_bounded(std::string_view a, std::string_view b, std::size_t limit) {
    return bounded_distance(code_points(a), code_points(b), limit);
}

std::vector<std::string> nearest(std::string_view name, const std::vector<std::string_view>& candidates) {
    constexpr std::size_t kMaxDistance = 2;
    const auto target = code_points(name);
    const std::size_t n = target.size();
    std::vector<std::pair<std::size_t, std::string_view>> kept;
    for (auto c : candidates) {
        // A text of b bytes holds between b/4 and b code points: far longer or
        // shorter candidates are out of reach without decoding them.
        if (c.size() + kMaxDistance < n || (c.size() + 3) / 4 > n + kMaxDistance) continue;
        std::size_t d = bounded_distance(target, code_points(c), kMaxDistance);
        if (d <= kMaxDistance) kept.emplace_back(d, c);
    }
    std::stable_sort(kept.begin(), kept.end());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < kept.size() && i < 3; ++i) out.emplace_back(kept[i].second);
    return out;
}

std::vector<std::string> dimension_suggestions(const Project& project, std::string_view name) {
    std::vector<std::string_view> names;
    for (const auto& [path, model] : project.models)
        for (const auto& c : model.columns) names.push_back(c.name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return nearest(name, names);
}

// ------------------------------------------------------------ join graph

std::vector<JoinEdge> build_join_graph(const Project& project) {
    std::vector<JoinEdge> edges;
    for (const auto& [path, model] : project.models) {
        for (const auto& rel : model.relationships) {
            const Model* target = project.find_model(rel.to);
            if (!target) continue;
            std::string_view local, remote;
            if (rel.on && !rel.columns) {
                local = remote = *rel.on;
            } else if (rel.columns && !rel.on) {
                local = rel.columns->local;
                remote = rel.columns->remote;
            } else {
                continue;
            }
            const bool forward_fans = rel.type == Cardinality::OneToMany || rel.type == Cardinality::ManyToMany;
            const bool reverse_fans = rel.type == Cardinality::ManyToOne || rel.type == Cardinality::ManyToMany;
            edges.push_back({model.table.name, local, target->table.name, remote, forward_fans});
            edges.push_back({target->table.name, remote, model.table.name, local, reverse_fans});
        }
    }
    return edges;
}

std::optional<std::vector<std::size_t>> bfs_path(const std::vector<JoinEdge>& edges, std::string_view start,
                                                 std::string_view goal, bool allow_fan_out) {
    // Outgoing edges per table, each list in edge-list order, so the search
    // tries exactly the edges a scan of the whole list would, in the same order.
    std::unordered_map<std::string_view, std::vector<std::size_t>> outgoing;
    for (std::size_t i = 0; i < edges.size(); ++i)
        if (allow_fan_out || !edges[i].fans_out) outgoing[edges[i].from_table].push_back(i);

    // Each table is reached once, so its first parent edge is its only one.
    std::unordered_map<std::string_view, std::size_t> parent;
    std::unordered_set<std::string_view> visited{start};
    std::deque<std::string_view> queue{start};
    bool reached = false;
    while (!queue.empty()) {
        std::string_view table = queue.front();
        queue.pop_front();
        if (table == goal) {
            reached = true;
            break;
        }
        auto it = outgoing.find(table);
        if (it == outgoing.end()) continue;
        for (std::size_t i : it->second) {
            std::string_view to = edges[i].to_table;
            if (visited.insert(to).second) {
                parent.emplace(to, i);
                queue.push_back(to);
            }
        }
    }
    if (!reached) return std::nullopt;

    std::vector<std::size_t> path;
    std::string_view current = goal;
    while (current != start) {
        auto it = parent.find(current);
        if (it == parent.end()) return std::nullopt;
        path.push_back(it->second);
        current = edges[it->second].from_table;
    }
    std::reverse(path.begin(), path.end());
    return path;
}

Result<std::vector<JoinStep>, QueryError> plan_joins(const Project& project, const Model& base,
                                                     const std::vector<DimensionRef>& dimensions) {
    std::vector<JoinStep> steps;
    const std::string_view base_table = base.table.name;
    std::unordered_set<std::string_view> joined{base_table};
    std::optional<std::vector<JoinEdge>> edges;  // built when the first join is needed
    for (const auto& dim : dimensions) {
        if (joined.count(dim.table)) continue;
        if (!edges) edges = build_join_graph(project);
        auto path = bfs_path(*edges, base_table, dim.table, false);
        if (!path) {
            auto fanning = bfs_path(*edges, base_table, dim.table, true);
            if (!fanning) return fail(QueryError::NoJoinPath{std::string(base_table), dim.table});
            for (std::size_t i : *fanning)
                if ((*edges)[i].fans_out)
                    return fail(QueryError::FanOutJoin{std::string((*edges)[i].from_table),
                                                       std::string((*edges)[i].to_table)});
            // Unreachable: a safe path would have been found by the first search.
            return fail(QueryError::NoJoinPath{std::string(base_table), dim.table});
        }
        for (std::size_t i : *path) {
            const JoinEdge& e = (*edges)[i];
            if (!joined.insert(e.to_table).second) continue;
            steps.push_back({std::string(e.from_table), std::string(e.from_column), std::string(e.to_table),
                             std::string(e.to_column)});
        }
    }
    return steps;
}

// ------------------------------------------------------------ resolution

Result<ResolvedQuery, QueryError> resolve(const Project& project, const Query& query) {
    if (query.metrics.empty()) return fail(QueryError::NoMetrics{});

    ResolvedQuery out;

    // Metrics: the first definition of a name, models in project order.
    struct Found {
        const Metric* metric;
        const Model* model;
    };
    std::unordered_map<std::string_view, Found> metric_index;
    for (const auto& [path, model] : project.models)
        for (const auto& m : model.metrics) metric_index.emplace(m.name, Found{&m, &model});

    out.metrics.reserve(query.metrics.size());
    const Model* first_model = nullptr;
    for (const auto& name : query.metrics) {
        auto it = metric_index.find(name);
        if (it == metric_index.end()) {
            std::vector<std::string_view> candidates;
            for (const auto& [path, model] : project.models)
                for (const auto& m : model.metrics) candidates.push_back(m.name);
            return fail(QueryError::UnknownMetric{name, nearest(name, candidates)});
        }
        const Model* model = it->second.model;
        if (first_model && first_model->table.name != model->table.name)
            return fail(QueryError::MetricsSpanTables{{first_model->table.name, model->table.name}});
        if (!first_model) first_model = model;
        out.base = model;
        out.metrics.push_back(it->second.metric);
    }
    const Model& base = *out.base;

    if (query.grain) {
        const TimeGrain grain = *query.grain;
        for (const Metric* m : out.metrics) {
            const auto& valid = m->valid_grains;
            if (!valid.empty() && std::find(valid.begin(), valid.end(), grain) == valid.end())
                return fail(QueryError::IncompatibleGrain{m->name, grain, valid});
        }
        for (const Metric* m : out.metrics) {
            if (m->time_dimension) {
                out.time_column = *m->time_dimension;
                break;
            }
        }
        if (!out.time_column) {
            for (const auto& c : base.columns) {
                if (c.time_dimension) {
                    out.time_column = c.name;
                    break;
                }
            }
        }
        if (!out.time_column) return fail(QueryError::NoTimeDimension{base.table.name});
    }

    // Dimensions. Column lookups go through per-model name sets so that very
    // long dimension lists stay linear.
    auto has_column = [](const Model& m, std::string_view name) {
        return std::any_of(m.columns.begin(), m.columns.end(), [&](const Column& c) { return c.name == name; });
    };
    std::unordered_set<std::string_view> base_columns;
    for (const auto& c : base.columns) base_columns.insert(c.name);
    // Bare name -> the models (project order, each once) holding such a column.
    std::optional<std::unordered_map<std::string_view, std::vector<const Model*>>> owners;

    out.dimensions.reserve(query.dimensions.size());
    for (const auto& text : query.dimensions) {
        auto dot = text.find('.');
        if (dot != std::string::npos) {
            std::string_view table = std::string_view(text).substr(0, dot);
            std::string_view column = std::string_view(text).substr(dot + 1);
            const Model* model = project.find_model(table);
            if (!model) return fail(QueryError::UnknownDimension{text, {}});
            if (!has_column(*model, column))
                return fail(QueryError::UnknownDimension{text, dimension_suggestions(project, column)});
            out.dimensions.push_back({model->table.name, std::string(column)});
            continue;
        }
        if (base_columns.count(text)) {
            out.dimensions.push_back({base.table.name, text});
            continue;
        }
        if (!owners) {
            owners.emplace();
            for (const auto& [path, model] : project.models) {
                std::unordered_set<std::string_view> seen;
                for (const auto& c : model.columns)
                    if (seen.insert(c.name).second) (*owners)[c.name].push_back(&model);
            }
        }
        auto it = owners->find(text);
        if (it == owners->end()) return fail(QueryError::UnknownDimension{text, dimension_suggestions(project, text)});
        const auto& matches = it->second;
        if (matches.size() > 1) {
            std::vector<std::string> candidates;
            for (const Model* m : matches) candidates.push_back(m->table.name + "." + text);
            return fail(QueryError::AmbiguousDimension{text, std::move(candidates)});
        }
        out.dimensions.push_back({matches.front()->table.name, text});
    }

    if (!out.dimensions.empty()) {
        auto joins = plan_joins(project, base, out.dimensions);
        if (!joins) return fail(std::move(joins).error());
        out.joins = std::move(joins).value();
    }
    return out;
}

}  // namespace korvel::sql::plan
