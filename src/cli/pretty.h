// Indented JSON for people reading a terminal; machines get the compact form.
#pragma once

#include <string>

#include "core/json.h"

namespace korvel::cli {

// Two-space indentation, one member or element per line, members in the
// value's own (sorted) order; empty arrays and objects stay on one line.
std::string write_pretty(const json::Value& value);

}  // namespace korvel::cli
