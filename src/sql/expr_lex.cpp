#include "sql/expr_lex.h"

#include <array>

#include <fmt/format.h>

#include "core/text.h"

namespace korvel::sql {

namespace {

bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_hex(unsigned char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_alpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes of non-ASCII characters count as name characters, as they do in the engines.
bool is_ident_start(unsigned char c) { return is_alpha(c) || c == '_' || c >= 0x80; }

// Longest operators first so that maximal munch picks them.
constexpr std::array<std::string_view, 28> kOperators{
    "->>", "#>>", "<=>", "!~*", "::", "||", "->", "#>", "<>", "!=", "<=", ">=", "==", "<<",
    ">>",  "@>",  "<@",  "&&",  "~*", "!~", "!<", "!>", "//", "**", "=>", ":=", "?|", "?&"};
constexpr std::string_view kSingle = "+-*/%^&|~#=<>()[],.;:?@!{}";

class Lexer {
public:
    Lexer(std::string_view src, const Grammar& g) : s_(src), g_(g) {}

    Result<std::vector<Token>, std::string> run() {
        if (!is_valid_utf8(s_)) {
            std::size_t bad = 0;
            for (std::size_t p = 0; p < s_.size();) {
                std::size_t q = p;
                char32_t cp = next_code_point(s_, q);
                if (cp == 0xFFFD && s_.substr(p, 3) != "\xEF\xBF\xBD") {
                    bad = p;
                    break;
                }
                p = q;
            }
            return fail(fmt::format("sql parser error: invalid UTF-8 at {}", describe_position(s_, bad)));
        }
        if (s_.size() > 0xFFFFFFF0u) return fail(std::string("sql parser error: input too long"));
        std::vector<Token> out;
        out.reserve(s_.size() / 3 + 2);
        std::string err;
        while (true) {
            skip_space_and_comments(err);
            if (!err.empty()) return fail(std::move(err));
            if (p_ >= s_.size()) break;
            Token t;
            if (!next(t, err)) return fail(std::move(err));
            out.push_back(t);
        }
        out.push_back(Token{TokenKind::End, s_.substr(s_.size()), static_cast<std::uint32_t>(s_.size())});
        return out;
    }

private:
    unsigned char at(std::size_t i) const { return i < s_.size() ? static_cast<unsigned char>(s_[i]) : 0; }

    std::string error(std::string_view what, std::size_t pos) const {
        return fmt::format("sql parser error: {} at {}", what, describe_position(s_, pos));
    }

    void skip_space_and_comments(std::string& err) {
        while (p_ < s_.size()) {
            unsigned char c = at(p_);
            if (is_space(c)) {
                ++p_;
            } else if (c == '-' && at(p_ + 1) == '-') {
                while (p_ < s_.size() && s_[p_] != '\n') ++p_;
            } else if (g_.slash_comments && c == '/' && at(p_ + 1) == '/') {
                while (p_ < s_.size() && s_[p_] != '\n') ++p_;
            } else if (c == '/' && at(p_ + 1) == '*') {
                std::size_t start = p_;
                p_ += 2;
                int depth = 1;
                while (depth > 0) {
                    if (p_ >= s_.size()) {
                        err = error("unterminated comment", start);
                        return;
                    }
                    if (at(p_) == '*' && at(p_ + 1) == '/') {
                        --depth;
                        p_ += 2;
                    } else if (g_.nested_comments && at(p_) == '/' && at(p_ + 1) == '*') {
                        ++depth;
                        p_ += 2;
                    } else {
                        ++p_;
                    }
                }
            } else {
                return;
            }
        }
    }

    bool make(Token& t, TokenKind kind, std::size_t start) {
        t.kind = kind;
        t.text = s_.substr(start, p_ - start);
        t.offset = static_cast<std::uint32_t>(start);
        return true;
    }

    // A quoted run from p_ (at the opening character) to the closing one; a doubled
    // closing character stays inside, and with `backslash` a backslash escapes the next byte.
    bool quoted(char close, bool backslash, std::size_t start, std::string_view what, std::string& err) {
        ++p_;
        while (true) {
            if (p_ >= s_.size()) {
                err = error(fmt::format("unterminated {}", what), start);
                return false;
            }
            char c = s_[p_];
            if (backslash && c == '\\') {
                p_ += 2;
                continue;
            }
            if (c == close) {
                if (at(p_ + 1) == static_cast<unsigned char>(close)) {
                    p_ += 2;
                    continue;
                }
                ++p_;
                return true;
            }
            ++p_;
        }
    }

    bool dollar_string(Token& t, std::string& err) {
        // $tag$ ... $tag$ where the tag is empty or a name without $.
        std::size_t start = p_;
        std::size_t q = p_ + 1;
        while (q < s_.size() && (is_ident_start(at(q)) || (is_digit(at(q)) && q > p_ + 1))) ++q;
        if (at(q) != '$') return false;
        std::string_view tag = s_.substr(p_, q - p_ + 1);
        std::size_t body = q + 1;
        std::size_t end = s_.find(tag, body);
        if (end == std::string_view::npos) {
            err = error("unterminated dollar-quoted string", start);
            return true;
        }
        p_ = end + tag.size();
        return make(t, TokenKind::String, start);
    }

    bool number(Token& t, std::string& err) {
        std::size_t start = p_;
        if (g_.hex_numbers && at(p_) == '0' && (at(p_ + 1) == 'x' || at(p_ + 1) == 'X') && is_hex(at(p_ + 2))) {
            p_ += 2;
            while (is_hex(at(p_))) ++p_;
            if (is_ident_start(at(p_))) {
                err = error("invalid number", start);
                return false;
            }
            return make(t, TokenKind::Number, start);
        }
        while (is_digit(at(p_))) ++p_;
        if (at(p_) == '.' && at(p_ + 1) != '.') {
            ++p_;
            while (is_digit(at(p_))) ++p_;
        }
        if ((at(p_) == 'e' || at(p_) == 'E') &&
            (is_digit(at(p_ + 1)) || ((at(p_ + 1) == '+' || at(p_ + 1) == '-') && is_digit(at(p_ + 2))))) {
            p_ += 2;
            while (is_digit(at(p_))) ++p_;
        }
        if (g_.number_suffixes) {
            unsigned char c = at(p_);
            if ((c == 'B' || c == 'b') && (at(p_ + 1) == 'D' || at(p_ + 1) == 'd') &&
                !is_ident_start(at(p_ + 2)) && !is_digit(at(p_ + 2))) {
                p_ += 2;
            } else if (std::string_view("LlSsYyDdFf").find(static_cast<char>(c)) != std::string_view::npos &&
                       c != 0 && !is_ident_start(at(p_ + 1)) && !is_digit(at(p_ + 1))) {
                ++p_;
            }
        }
        if (is_ident_start(at(p_)) || (at(p_) == '$' && g_.dollar_in_identifiers)) {
            std::size_t end = p_;
            while (is_ident_start(at(end)) || is_digit(at(end))) ++end;
            err = error(fmt::format("invalid number `{}`", s_.substr(start, end - start)), start);
            return false;
        }
        return make(t, TokenKind::Number, start);
    }

    bool next(Token& t, std::string& err) {
        std::size_t start = p_;
        unsigned char c = at(p_);
        unsigned char c1 = at(p_ + 1);
        // Prefixed strings: E'...', N'...'
        if ((c == 'E' || c == 'e') && c1 == '\'' && g_.escape_strings) {
            ++p_;
            if (!quoted('\'', true, start, "string literal", err)) return false;
            return make(t, TokenKind::String, start);
        }
        if ((c == 'N' || c == 'n') && c1 == '\'' && g_.national_strings) {
            ++p_;
            if (!quoted('\'', false, start, "string literal", err)) return false;
            return make(t, TokenKind::String, start);
        }
        if ((c == 'X' || c == 'x') && c1 == '\'' && g_.hex_strings) {
            ++p_;
            if (!quoted('\'', false, start, "string literal", err)) return false;
            return make(t, TokenKind::String, start);
        }
        if ((c == 'R' || c == 'r') && (c1 == '\'' || c1 == '"') && g_.raw_strings) {
            // Raw strings keep backslashes; the quote character cannot occur inside.
            ++p_;
            std::size_t close = s_.find(static_cast<char>(c1), p_ + 1);
            if (close == std::string_view::npos) {
                err = error("unterminated string literal", start);
                return false;
            }
            p_ = close + 1;
            return make(t, TokenKind::String, start);
        }
        if (is_ident_start(c)) {
            while (is_ident_start(at(p_)) || is_digit(at(p_)) || (at(p_) == '$' && g_.dollar_in_identifiers)) ++p_;
            return make(t, TokenKind::Word, start);
        }
        if (is_digit(c) || (c == '.' && is_digit(c1))) return number(t, err);
        if (c == '\'') {
            if (!quoted('\'', g_.backslash_escapes, start, "string literal", err)) return false;
            return make(t, TokenKind::String, start);
        }
        if (c == '"') {
            if (g_.double_quoted_identifiers) {
                if (!quoted('"', false, start, "quoted identifier", err)) return false;
                if (p_ - start == 2) {
                    err = error("empty quoted identifier", start);
                    return false;
                }
                return make(t, TokenKind::QuotedIdent, start);
            }
            if (!quoted('"', g_.backslash_escapes, start, "string literal", err)) return false;
            return make(t, TokenKind::String, start);
        }
        if (c == '`' && g_.backtick_identifiers) {
            if (!quoted('`', false, start, "quoted identifier", err)) return false;
            if (p_ - start == 2) {
                err = error("empty quoted identifier", start);
                return false;
            }
            return make(t, TokenKind::QuotedIdent, start);
        }
        if (c == '[' && g_.bracket_identifiers) {
            if (!quoted(']', false, start, "quoted identifier", err)) return false;
            if (p_ - start == 2) {
                err = error("empty quoted identifier", start);
                return false;
            }
            return make(t, TokenKind::QuotedIdent, start);
        }
        if (c == '$' && g_.dollar_strings) {
            if (dollar_string(t, err)) return err.empty();
        }
        for (std::string_view op : kOperators) {
            if (op[0] == static_cast<char>(c) && s_.substr(p_, op.size()) == op) {
                p_ += op.size();
                return make(t, TokenKind::Op, start);
            }
        }
        if (c != 0 && kSingle.find(static_cast<char>(c)) != std::string_view::npos) {
            ++p_;
            return make(t, TokenKind::Op, start);
        }
        if (c < 0x20 || c == 0x7F)
            err = error(fmt::format("unexpected character U+{:04X}", static_cast<unsigned>(c)), start);
        else
            err = error(fmt::format("unexpected character `{}`", static_cast<char>(c)), start);
        return false;
    }

    std::string_view s_;
    const Grammar& g_;
    std::size_t p_ = 0;
};

}  // namespace

std::string describe_position(std::string_view text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t p = 0; p < offset && p < text.size();) {
        if (text[p] == '\n') {
            ++line;
            column = 1;
            ++p;
            continue;
        }
        next_code_point(text, p);
        ++column;
    }
    return fmt::format("line {}, column {}", line, column);
}

Result<std::vector<Token>, std::string> tokenize(std::string_view text, const Grammar& grammar) {
    return Lexer(text, grammar).run();
}

}  // namespace korvel::sql
