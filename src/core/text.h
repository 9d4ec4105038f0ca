// Text helpers shared by the core and SQL libraries.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace korvel {

// Removes leading and trailing characters with the Unicode White_Space property.
std::string_view trim(std::string_view text);

// A path as UTF-8 text, with invalid bytes replaced by U+FFFD.
std::string path_text(const std::filesystem::path& path);
// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string lossy_utf8(std::string_view text);
bool is_valid_utf8(std::string_view text);

// Length of the valid UTF-8 sequence starting at `pos`, or 0 when it is invalid.
std::size_t utf8_sequence_length(std::string_view text, std::size_t pos);
// Appends the UTF-8 encoding of one Unicode scalar value.
void append_utf8(std::string& out, char32_t cp);

// Decodes one Unicode scalar value at `pos` and advances it; invalid bytes
// decode as U+FFFD, one byte at a time.
char32_t next_code_point(std::string_view text, std::size_t& pos);

}  // namespace korvel
