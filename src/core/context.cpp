#include "core/context.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <iterator>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace korvel {

namespace {

constexpr std::string_view kPreamble =
    "\nThis document describes governed tables and metrics. Prefer the metrics below over hand-written "
    "aggregates; their expressions encode business rules (filters, exclusions) that raw columns do not.\n";

template <class... Args>
void put(std::string& out, fmt::format_string<Args...> format, Args&&... args) {
    fmt::format_to(std::back_inserter(out), format, std::forward<Args>(args)...);
}

// A table cell holds one line, so line feeds become blanks; nothing is escaped.
std::string one_line(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\n') c = ' ';
    return line;
}

std::string column_notes(const Column& column) {
    std::vector<std::string> notes;
    if (column.primary_key) notes.emplace_back("primary key");
    if (column.time_dimension) notes.emplace_back("time dimension");
    if (column.classification == Classification::Pii) notes.emplace_back("PII");
    if (!column.synonyms.empty()) notes.push_back(fmt::format("aka: {}", fmt::join(column.synonyms, ", ")));
    if (column.deprecated) notes.push_back(fmt::format("DEPRECATED: {}", column.deprecated->note));
    return fmt::format("{}", fmt::join(notes, "; "));
}

void write_columns(std::string& out, const Model& model) {
    if (model.columns.empty()) return;
    out += "\n### Columns\n\n| column | type | description | notes |\n|---|---|---|---|\n";
    for (const auto& column : model.columns)
        put(out, "| `{}` | {} | {} | {} |\n", column.name, column.type,
            column.description ? one_line(*column.description) : std::string(), column_notes(column));
}

void write_metric(std::string& out, const Metric& metric) {
    put(out, "\n### Metric `{}`\n", metric.name);
    put(out, "\n- Expression: `{}`\n", metric.expr);
    if (metric.description) put(out, "- Description: {}\n", trim(*metric.description));
    if (!metric.filters.empty()) put(out, "- Always-applied filters: `{}`\n", fmt::join(metric.filters, "` AND `"));
    if (!metric.valid_grains.empty()) {
        std::vector<std::string_view> grains;
        for (auto grain : metric.valid_grains) grains.push_back(written(grain));
        put(out, "- Valid time grains: {}\n", fmt::join(grains, ", "));
    }
    if (metric.context) put(out, "- Notes: {}\n", trim(*metric.context));
    if (!metric.example_queries.empty()) {
        out += "- Questions this answers:\n";
        for (const auto& question : metric.example_queries) put(out, "  - {}\n", question);
    }
    if (metric.deprecated) put(out, "- DEPRECATED: {}\n", metric.deprecated->note);
}

void write_joins(std::string& out, const Model& model) {
    if (model.relationships.empty()) return;
    out += "\n### Joins\n\n";
    for (const auto& rel : model.relationships) {
        std::string condition;
        if (rel.on)
            condition = fmt::format("`{}` = `{}`", *rel.on, *rel.on);
        else if (rel.columns)
            condition = fmt::format("`{}` = `{}`", rel.columns->local, rel.columns->remote);
        put(out, "- `{}` -> `{}` ({}) on {}\n", model.table.name, rel.to, printed(rel.type), condition);
    }
}

void write_view(std::string& out, const View& view) {
    put(out, "\n### View `{}`\n", view.name);
    if (view.description) put(out, "\n{}\n", *view.description);
    put(out, "\n```sql\n{}\n```\n", trim(view.sql));
}

}  // namespace

void write_model(std::string& out, const Model& model) {
    const Table& table = model.table;
    put(out, "\n## Table `{}`", table.name);
    if (table.status != Status::Experimental) put(out, " ({})", printed(table.status));
    out += '\n';
    if (table.description) put(out, "\n{}\n", *table.description);
    if (table.grain) put(out, "\n- Grain: one row = {}\n", *table.grain);

    put(out, "- Source: {}", printed(model.source.format));
    if (model.source.location) put(out, " at `{}`", *model.source.location);
    if (model.source.connection) put(out, " via connection `{}`", *model.source.connection);
    out += '\n';

    if (table.deprecation) {
        put(out, "- DEPRECATED: {}", table.deprecation->note);
        if (table.deprecation->replaced_by) put(out, " Use `{}` instead.", *table.deprecation->replaced_by);
        out += '\n';
    }

    write_columns(out, model);
    for (const auto& metric : model.metrics) write_metric(out, metric);
    write_joins(out, model);
    for (const auto& view : model.views) write_view(out, view);
    if (model.context) put(out, "\n### Table notes\n\n{}\n", trim(*model.context));
}

std::string context_markdown(const Project& project) {
    std::string out;
    const ProjectInfo& info = project.manifest.project;
    put(out, "# Semantic layer: {}\n", info.name);
    if (info.description) put(out, "\n{}\n", *info.description);
    out += kPreamble;
    for (const auto& entry : project.models) write_model(out, entry.second);
    return out;
}

}  // namespace korvel
