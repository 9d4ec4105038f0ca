#include "core/text.h"

namespace korvel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// Decodes at `pos`. On invalid input returns U+FFFD and sets `len` to the
// maximal invalid subpart (at least one byte), so replacement is lossless
// for the valid parts around it.
char32_t decode(std::string_view s, std::size_t pos, std::size_t& len, bool& valid) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(pos);
    valid = true;
    len = 1;
    if (c < 0x80) return c;
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        valid = false;
        return kReplacement;
    }
    for (std::size_t k = 1; k < n; ++k) {
        unsigned char lower = k == 1 ? lo : 0x80, upper = k == 1 ? hi : 0xBF;
        if (pos + k >= s.size() || b(pos + k) < lower || b(pos + k) > upper) {
            valid = false;
            len = k;
            return kReplacement;
        }
        cp = (cp << 6) | (b(pos + k) & 0x3F);
    }
    len = n;
    return cp;
}

}  // namespace

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::size_t utf8_sequence_length(std::string_view text, std::size_t pos) {
    std::size_t len;
    bool valid;
    decode(text, pos, len, valid);
    return valid ? len : 0;
}

char32_t next_code_point(std::string_view text, std::size_t& pos) {
    std::size_t len;
    bool valid;
    char32_t cp = decode(text, pos, len, valid);
    pos += len;
    return cp;
}

std::string_view trim(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        if (!is_white_space(next_code_point(text, next))) break;
        begin = next;
    }
    std::size_t end = begin;
    // Scan forward remembering where the last non-space character ended.
    for (std::size_t pos = begin; pos < text.size();) {
        char32_t cp = next_code_point(text, pos);
        if (!is_white_space(cp)) end = pos;
    }
    return text.substr(begin, end - begin);
}

bool is_valid_utf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t len;
        bool valid;
        decode(text, pos, len, valid);
        if (!valid) return false;
        pos += len;
    }
    return true;
}

std::string lossy_utf8(std::string_view text) {
    if (is_valid_utf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t len;
        bool valid;
        char32_t cp = decode(text, pos, len, valid);
        if (valid)
            out.append(text.substr(pos, len));
        else
            append_utf8(out, cp);
        pos += len;
    }
    return out;
}

std::string path_text(const std::filesystem::path& path) { return lossy_utf8(path.native()); }

}  // namespace korvel
