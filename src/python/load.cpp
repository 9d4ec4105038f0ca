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

bool refuse_invalid_project(const std::vector<Finding>& findings) {
    if (findings.empty()) return false;
    std::string joined;
    for (const auto& [file, message] : findings) {
        if (!joined.empty()) joined += "; ";
        joined += fmt::format("{}: {}", file, message);
    }
    raise_value_error(fmt::format("project has validation errors: {}", joined));
    return true;
}

}  // namespace korvel::py
