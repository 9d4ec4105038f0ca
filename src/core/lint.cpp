#include "core/lint.h"

#include <algorithm>
#include <fmt/format.h>

#include "core/text.h"

namespace korvel {

std::vector<Issue> lint(const Project& project) {
    std::vector<Issue> issues;
    for (const auto& [path, model] : project.models) {
        const std::string file = path_text(path);
        auto warn = [&](std::string message) { issues.push_back({file, std::move(message)}); };
        const Table& table = model.table;

        // Only absence warns: an empty or blank text was written on purpose.
        if (!table.description) warn(fmt::format("table `{}` has no description", table.name));
        if (!table.grain)
            warn(fmt::format("table `{}` has no grain; agents cannot reason about row meaning", table.name));
        if (!table.owner) warn(fmt::format("table `{}` has no owner", table.name));
        if (std::none_of(model.columns.begin(), model.columns.end(), [](const Column& c) { return c.primary_key; }))
            warn(fmt::format("table `{}` declares no primary key column", table.name));

        for (const auto& column : model.columns)
            if (!column.description) warn(fmt::format("column `{}` has no description", column.name));

        for (const auto& metric : model.metrics) {
            if (!metric.description) warn(fmt::format("metric `{}` has no description", metric.name));
            if (!metric.context)
                warn(fmt::format("metric `{}` has no `context`; agents will guess at caveats", metric.name));
            if (metric.example_queries.empty())
                warn(fmt::format("metric `{}` has no example_queries; these anchor agent question-matching",
                                 metric.name));
        }
    }
    return issues;
}

}  // namespace korvel
