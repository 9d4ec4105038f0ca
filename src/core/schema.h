// The JSON Schema (draft 7) of one model file.
#pragma once

#include "core/json.h"

namespace korvel {

// Built anew on every call from the record declarations; reads no file.
json::Value model_json_schema();

}  // namespace korvel
