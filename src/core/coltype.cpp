#include "core/coltype.h"

#include <array>
#include <fmt/format.h>
#include <optional>
#include <utility>

#include "core/text.h"

namespace korvel {

namespace {

using Kind = ColumnType::Kind;

constexpr std::array<std::pair<std::string_view, Kind>, 17> kFixedNames{{
    {"bool", Kind::Boolean},     {"boolean", Kind::Boolean},
    {"int8", Kind::Int8},        {"int16", Kind::Int16},
    {"int32", Kind::Int32},      {"int64", Kind::Int64},
    {"uint8", Kind::UInt8},      {"uint16", Kind::UInt16},
    {"uint32", Kind::UInt32},    {"uint64", Kind::UInt64},
    {"float32", Kind::Float32},  {"float64", Kind::Float64},
    {"string", Kind::Utf8},      {"binary", Kind::Binary},
    {"date", Kind::Date32},      {"timestamp", Kind::Timestamp},
    {"time", Kind::Time64},
}};

// An optional sign (`allow_minus` decides whether '-' is one), then one or more
// ASCII digits; the value must lie in [lo, hi]. Leading zeros are fine, so the
// running value is capped rather than allowed to overflow.
std::optional<int> read_integer(std::string_view piece, bool allow_minus, int lo, int hi) {
    bool negative = false;
    if (!piece.empty() && (piece[0] == '+' || (allow_minus && piece[0] == '-'))) {
        negative = piece[0] == '-';
        piece.remove_prefix(1);
    }
    if (piece.empty()) return std::nullopt;
    long value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 1000) value = 1000;
    }
    if (negative) value = -value;
    if (value < lo || value > hi) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<ColumnType> parse_decimal(std::string_view folded) {
    constexpr std::string_view prefix = "decimal(";
    if (folded.size() < 10 || folded.substr(0, prefix.size()) != prefix || folded.back() != ')')
        return std::nullopt;
    std::string_view inner = folded.substr(prefix.size(), folded.size() - prefix.size() - 1);
    auto comma = inner.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    auto precision = read_integer(trim(inner.substr(0, comma)), false, 0, 255);
    auto scale = read_integer(trim(inner.substr(comma + 1)), true, -128, 127);
    if (!precision || !scale) return std::nullopt;
    if (*scale > *precision || *precision == 0 || *precision > 38 || *scale < 0) return std::nullopt;
    return ColumnType{Kind::Decimal128, static_cast<std::uint8_t>(*precision), static_cast<std::int8_t>(*scale)};
}

}  // namespace

Result<ColumnType, std::string> parse_column_type(std::string_view text) {
    std::string folded(trim(text));
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');

    if (!folded.empty()) {
        for (const auto& [name, kind] : kFixedNames)
            if (folded == name) return ColumnType{kind};
        if (auto decimal = parse_decimal(folded)) return *decimal;
    }
    return fail(fmt::format(
        "unknown column type `{}` (expected one of int8..int64, uint8..uint64, float32, float64, "
        "decimal(p,s), string, bool, date, timestamp, time, binary)",
        text));
}

}  // namespace korvel
