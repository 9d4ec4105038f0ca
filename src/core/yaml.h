// Reading model files and the manifest from YAML text into their records.
#pragma once

#include <string>
#include <string_view>

#include "core/result.h"
#include "core/types.h"

namespace korvel {

// Each reads exactly one YAML document. A failure is one message: a location
// prefix ("columns[2].deprecated: "), the message, and " at line L column C"
// unless the position is line 1 column 1.
Result<Model, std::string> read_model(std::string_view text);
Result<Manifest, std::string> read_manifest(std::string_view text);

}  // namespace korvel
