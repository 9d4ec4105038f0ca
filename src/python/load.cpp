// The loading path shared by every function that takes a project path.
#include <fmt/format.h>

#include "python/boundary.h"

namespace korvel::py {

std::optional<Project> load(std::string_view path) {
    auto project = Project::load(path);
    if (!project) {
        raise_value_error(project.error().text());
        return std::nullopt;
    }
    return std::move(*project);
}

bool refuse_invalid_project(const std::vector<Issue>& findings) {
    if (findings.empty()) return false;
    std::string joined;
    for (const auto& issue : findings) {
        if (!joined.empty()) joined += "; ";
        joined += issue.text();
    }
    raise_value_error(fmt::format("project has validation errors: {}", joined));
    return true;
}

}  // namespace korvel::py
