// Project validation: the errors that make a project unusable.
#pragma once

#include <string>
#include <vector>

#include "core/json.h"
#include "core/project.h"

namespace korvel {

// One finding of validation or lint, tied to a model file.
struct Issue {
    std::string file;     // the model's stored path as text
    std::string message;

    // "{file}: {message}"
    std::string text() const;
    // {"file": ..., "message": ...}
    json::Value to_json() const;

    friend bool operator==(const Issue&, const Issue&) = default;
};

// The findings as a JSON array of their JSON forms, in order.
json::Value issues_to_json(const std::vector<Issue>& issues);

// Every finding of the project, never stopping early: the per-model checks of
// all models first, then the relationship checks of all models.
std::vector<Issue> validate(const Project& project);

}  // namespace korvel
