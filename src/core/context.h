// The Markdown document that explains a project to an agent.
#pragma once

#include <string>

#include "core/project.h"

namespace korvel {

// The whole document: the head, then one section per model in project order.
std::string context_markdown(const Project& project);

// Appends the section of one model to `out`.
void write_model(std::string& out, const Model& model);

}  // namespace korvel
