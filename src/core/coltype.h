// The grammar of column type names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.h"

namespace korvel {

// A logical column type; only a decimal carries parameters.
struct ColumnType {
    enum class Kind {
        Boolean,
        Int8, Int16, Int32, Int64,
        UInt8, UInt16, UInt32, UInt64,
        Float32, Float64,
        Utf8, Binary, Date32, Timestamp, Time64,
        Decimal128,
    };
    Kind kind = Kind::Utf8;
    std::uint8_t precision = 0;  // Decimal128 only
    std::int8_t scale = 0;       // Decimal128 only

    friend bool operator==(const ColumnType&, const ColumnType&) = default;
};

// Parses a column's `type` text. Surrounding Unicode whitespace is ignored and
// ASCII letters match in any case. Every failure is the same message, quoting
// `text` exactly as given.
Result<ColumnType, std::string> parse_column_type(std::string_view text);

}  // namespace korvel
