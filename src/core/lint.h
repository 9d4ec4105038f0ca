// Lint: warnings about missing agent-facing documentation.
#pragma once

#include <vector>

#include "core/project.h"
#include "core/validate.h"

namespace korvel {

// The warnings of every model in project order; a project with validation
// errors is linted like any other.
std::vector<Issue> lint(const Project& project);

}  // namespace korvel
