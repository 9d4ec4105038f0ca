#include "core/validate.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "core/coltype.h"
#include "core/text.h"

namespace korvel {

std::string Issue::text() const { return fmt::format("{}: {}", file, message); }

json::Value Issue::to_json() const { return json::Object{{"file", file}, {"message", message}}; }

json::Value issues_to_json(const std::vector<Issue>& issues) {
    json::Array items;
    items.reserve(issues.size());
    for (const auto& issue : issues) items.push_back(issue.to_json());
    return items;
}

namespace {

// The connection kind a database format needs: the kind of the same name.
std::optional<ConnectionKind> required_kind(SourceFormat format) {
    switch (format) {
        case SourceFormat::Postgres: return ConnectionKind::Postgres;
        case SourceFormat::Mysql: return ConnectionKind::Mysql;
        case SourceFormat::Snowflake: return ConnectionKind::Snowflake;
        case SourceFormat::Bigquery: return ConnectionKind::Bigquery;
        case SourceFormat::Databricks: return ConnectionKind::Databricks;
        case SourceFormat::Sqlserver: return ConnectionKind::Sqlserver;
        case SourceFormat::Duckdb: return ConnectionKind::Duckdb;
        default: return std::nullopt;
    }
}

bool is_empty_body(std::string_view text) { return trim(text).empty(); }

class Checker {
public:
    Checker(const Project& project, std::vector<Issue>& out) : project_(project), out_(out) {}

    void first_pass() {
        std::set<std::string, std::less<>> tables;
        for (const auto& [path, model] : project_.models) {
            file_ = path_text(path);
            if (!tables.insert(model.table.name).second)
                report("duplicate table name `{}`", model.table.name);
            check_source(model);
            check_columns(model);
            check_metrics(model);
            check_views(model);
            if (model.table.status == Status::Deprecated && !model.table.deprecation)
                report("table `{}` is deprecated but has no `deprecation` note telling agents what to use instead",
                       model.table.name);
        }
    }

    void second_pass() {
        // First model in project order per table name, the declaring one included.
        for (const auto& entry : project_.models) targets_.try_emplace(entry.second.table.name, &entry.second);
        for (const auto& [path, model] : project_.models) {
            file_ = path_text(path);
            for (const auto& rel : model.relationships) check_relationship(model, rel);
        }
    }

private:
    template <class... Args>
    void report(fmt::format_string<Args...> format, Args&&... args) {
        out_.push_back({file_, fmt::format(format, std::forward<Args>(args)...)});
    }

    void check_source(const Model& model) {
        const Source& source = model.source;
        const auto format = printed(source.format);
        if (is_file_based(source.format)) {
            if (!source.location) report("source format `{}` requires `location`", format);
            if (source.connection) report("file-based sources must not set `connection`");
            if ((source.format == SourceFormat::Csv || source.format == SourceFormat::Txt) &&
                model.columns.empty())
                report("csv/txt sources must declare columns (no embedded schema)");
            return;
        }
        if (!source.connection) {
            report("source format `{}` requires `connection`", format);
            return;
        }
        const auto& connections = project_.manifest.connections;
        auto found = connections.find(*source.connection);
        if (found == connections.end()) {
            report("connection `{}` is not defined in semantic.yml", *source.connection);
            return;
        }
        if (required_kind(source.format) != found->second.kind)
            report("source format `{}` does not match connection `{}` of kind `{}`", format, *source.connection,
                   printed(found->second.kind));
    }

    void check_columns(const Model& model) {
        // Kept for the metric and relationship lookups of this model.
        auto& names = columns_[&model];
        for (const auto& column : model.columns) {
            if (!names.insert(column.name).second) report("duplicate column `{}`", column.name);
            auto parsed = parse_column_type(column.type);
            if (!parsed) report("column `{}`: {}", column.name, parsed.error());
        }
        std::vector<std::string_view> axes;
        for (const auto& column : model.columns)
            if (column.time_dimension) axes.push_back(column.name);
        if (axes.size() > 1)
            report("multiple columns marked time_dimension ({}); only one default time axis allowed",
                   fmt::join(axes, ", "));
    }

    void check_metrics(const Model& model) {
        std::set<std::string, std::less<>> names;
        for (const auto& metric : model.metrics) {
            if (!names.insert(metric.name).second) report("duplicate metric `{}`", metric.name);
            if (is_empty_body(metric.expr)) report("metric `{}` has an empty expr", metric.name);
            if (metric.time_dimension && !has_column(model, *metric.time_dimension))
                report("metric `{}` references time_dimension `{}` which is not a column", metric.name,
                       *metric.time_dimension);
        }
    }

    void check_views(const Model& model) {
        std::set<std::string, std::less<>> names;
        for (const auto& view : model.views) {
            if (!names.insert(view.name).second) report("duplicate view `{}`", view.name);
            if (is_empty_body(view.sql)) report("view `{}` has an empty sql body", view.name);
        }
    }

    void check_relationship(const Model& model, const Relationship& rel) {
        auto found = targets_.find(rel.to);
        if (found == targets_.end()) {
            report("relationship target `{}` is not a table in this project", rel.to);
            return;
        }
        if (!rel.on && !rel.columns) {
            report("relationship to `{}` needs `on` or `columns`", rel.to);
            return;
        }
        if (rel.on && rel.columns) {
            report("relationship to `{}` sets both `on` and `columns`; pick one", rel.to);
            return;
        }
        const std::string& local = rel.on ? *rel.on : rel.columns->local;
        const std::string& remote = rel.on ? *rel.on : rel.columns->remote;
        if (!has_column(model, local))
            report("relationship to `{}` uses local column `{}` which is not defined", rel.to, local);
        if (!has_column(*found->second, remote))
            report("relationship to `{}` uses remote column `{}` which `{}` does not define", rel.to, remote,
                   rel.to);
    }

    bool has_column(const Model& model, std::string_view name) const {
        return columns_.at(&model).count(name) > 0;
    }

    const Project& project_;
    std::vector<Issue>& out_;
    std::string file_;
    std::map<std::string_view, const Model*> targets_;
    std::map<const Model*, std::set<std::string_view>> columns_;
};

}  // namespace

std::vector<Issue> validate(const Project& project) {
    std::vector<Issue> issues;
    Checker checker(project, issues);
    checker.first_pass();
    checker.second_pass();
    return issues;
}

}  // namespace korvel
