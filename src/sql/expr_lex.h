// Splitting expression text into tokens; shared by the parser and its tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "sql/dialect.h"

namespace korvel::sql {

enum class TokenKind : std::uint8_t {
    End,
    Word,          // bare name or keyword
    QuotedIdent,   // "x", `x` or [x], quotes included
    String,        // string literal as written, prefix and quotes included
    Number,
    Op,            // operator or punctuation
};

// A view into the input; no token owns memory.
struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text;
    std::uint32_t offset = 0;
};

// The tokens of `text` followed by one End token, or a "sql parser error: ..." description.
Result<std::vector<Token>, std::string> tokenize(std::string_view text, const Grammar& grammar);

// "line L, column C" for a byte offset (columns count code points).
std::string describe_position(std::string_view text, std::size_t offset);

}  // namespace korvel::sql
