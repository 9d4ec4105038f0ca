#include "core/json.h"

#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "core/text.h"

namespace korvel::json {

Value::Value(std::int64_t i) {
    if (i < 0)
        v_ = i;
    else
        v_ = static_cast<std::uint64_t>(i);
}

void Value::set(std::string key, Value value) {
    if (!is_object()) v_ = Object{};
    as_object().insert_or_assign(std::move(key), std::move(value));
}

const Value* Value::find(std::string_view key) const {
    if (!is_object()) return nullptr;
    const auto& o = as_object();
    auto it = o.find(key);
    return it == o.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------- writer

void write_string(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

namespace {

void write_float(std::string& out, double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    out += s;
    // A reader must take it as a float again: "1" becomes "1.0".
    if (s.find_first_of(".eE") == std::string_view::npos) out += ".0";
}

void write_value(std::string& out, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: out += "null"; break;
        case Value::Kind::Bool: out += v.as_bool() ? "true" : "false"; break;
        case Value::Kind::UInt: fmt::format_to(std::back_inserter(out), "{}", v.as_uint()); break;
        case Value::Kind::Int: fmt::format_to(std::back_inserter(out), "{}", v.as_int()); break;
        case Value::Kind::Float: write_float(out, v.as_float()); break;
        case Value::Kind::String: write_string(out, v.as_string()); break;
        case Value::Kind::Array: {
            out += '[';
            bool first = true;
            for (const auto& e : v.as_array()) {
                if (!first) out += ',';
                first = false;
                write_value(out, e);
            }
            out += ']';
            break;
        }
        case Value::Kind::Object: {
            out += '{';
            bool first = true;
            for (const auto& [k, e] : v.as_object()) {
                if (!first) out += ',';
                first = false;
                write_string(out, k);
                out += ':';
                write_value(out, e);
            }
            out += '}';
            break;
        }
    }
}

}  // namespace

std::string write(const Value& value) {
    std::string out;
    out.reserve(128);
    write_value(out, value);
    return out;
}

namespace {

// The first fault that keeps `v` from being written as JSON text, or nothing.
const char* unwritable(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Float:
            if (!std::isfinite(v.as_float())) return "cannot write a non-finite float as JSON";
            return nullptr;
        case Value::Kind::String:
            if (!is_valid_utf8(v.as_string())) return "cannot write a string that is not valid UTF-8 as JSON";
            return nullptr;
        case Value::Kind::Array:
            for (const auto& e : v.as_array())
                if (const char* fault = unwritable(e)) return fault;
            return nullptr;
        case Value::Kind::Object:
            for (const auto& [k, e] : v.as_object()) {
                if (!is_valid_utf8(k)) return "cannot write a key that is not valid UTF-8 as JSON";
                if (const char* fault = unwritable(e)) return fault;
            }
            return nullptr;
        default: return nullptr;
    }
}

}  // namespace

Result<std::string, std::string> write_strict(const Value& value) {
    if (const char* fault = unwritable(value)) return fail(std::string(fault));
    return write(value);
}

// ---------------------------------------------------------------- reader

std::string ReadError::text() const {
    return fmt::format("{} at line {} column {}", description, line, column);
}

namespace {

constexpr int kMaxDepth = 127;

// Whether a well-formed decimal number has a magnitude below one, judged from
// the position of its first significant digit and its exponent.
bool below_one(std::string_view text) {
    std::size_t i = text[0] == '-' ? 1 : 0;
    std::size_t int_start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    std::size_t int_digits = i - int_start;
    long long magnitude;  // decimal exponent of the first significant digit
    if (!(int_digits == 1 && text[int_start] == '0')) {
        magnitude = static_cast<long long>(int_digits) - 1;
    } else {
        if (i < text.size() && text[i] == '.') ++i;
        long long zeros = 0;
        while (i < text.size() && text[i] == '0') {
            ++zeros;
            ++i;
        }
        if (i >= text.size() || text[i] < '1' || text[i] > '9') return true;  // zero
        magnitude = -(zeros + 1);
    }
    std::size_t e = text.find_first_of("eE");
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::size_t k = e + 1;
        bool minus = text[k] == '-';
        if (text[k] == '+' || text[k] == '-') ++k;
        for (; k < text.size(); ++k) {
            exponent = exponent * 10 + (text[k] - '0');
            if (exponent > 1'000'000'000) break;  // far beyond any double either way
        }
        if (minus) exponent = -exponent;
    }
    return magnitude + exponent < 0;
}

struct Reader {
    std::string_view s;
    std::size_t pos = 0;
    int depth = 0;
    ReadError err;
    bool failed = false;

    // Line and column (1-based, counted in characters) of a byte offset.
    void locate(std::size_t at, ReadError& e) const {
        std::size_t line = 1, col = 1;
        for (std::size_t i = 0; i < at && i < s.size(); ++i) {
            auto c = static_cast<unsigned char>(s[i]);
            if (c == '\n') {
                ++line;
                col = 1;
            } else if ((c & 0xC0) != 0x80) {
                ++col;
            }
        }
        e.line = line;
        e.column = col;
    }

    bool error(std::string description, std::size_t at) {
        if (!failed) {
            failed = true;
            err.description = std::move(description);
            locate(at, err);
        }
        return false;
    }

    bool eof() const { return pos >= s.size(); }
    char peek() const { return s[pos]; }

    void skip_ws() {
        while (!eof() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++pos;
    }

    bool literal(std::string_view word, Value v, Value& out) {
        if (s.substr(pos, word.size()) != word) return error("expected value", pos);
        pos += word.size();
        out = std::move(v);
        return true;
    }

    bool value(Value& out) {
        skip_ws();
        if (eof()) return error("EOF while parsing a value", pos);
        switch (peek()) {
            case 'n': return literal("null", Value(), out);
            case 't': return literal("true", Value(true), out);
            case 'f': return literal("false", Value(false), out);
            case '"': {
                std::string str;
                if (!string(str)) return false;
                out = Value(std::move(str));
                return true;
            }
            case '[': return array(out);
            case '{': return object(out);
            default:
                if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return number(out);
                return error("expected value", pos);
        }
    }

    bool enter(std::size_t at) {
        if (++depth > kMaxDepth) return error("recursion limit exceeded", at);
        return true;
    }

    bool array(Value& out) {
        std::size_t start = pos;
        if (!enter(start)) return false;
        ++pos;
        Array items;
        skip_ws();
        if (!eof() && peek() == ']') {
            ++pos;
        } else {
            for (;;) {
                Value item;
                if (!value(item)) return false;
                items.push_back(std::move(item));
                skip_ws();
                if (eof()) return error("EOF while parsing a list", pos);
                if (peek() == ',') {
                    ++pos;
                    continue;
                }
                if (peek() == ']') {
                    ++pos;
                    break;
                }
                return error("expected `,` or `]`", pos);
            }
        }
        --depth;
        out = Value(std::move(items));
        return true;
    }

    bool object(Value& out) {
        std::size_t start = pos;
        if (!enter(start)) return false;
        ++pos;
        Object members;
        skip_ws();
        if (!eof() && peek() == '}') {
            ++pos;
        } else {
            for (;;) {
                skip_ws();
                if (eof()) return error("EOF while parsing an object", pos);
                if (peek() != '"') return error("key must be a string", pos);
                std::string key;
                if (!string(key)) return false;
                skip_ws();
                if (eof()) return error("EOF while parsing an object", pos);
                if (peek() != ':') return error("expected `:`", pos);
                ++pos;
                Value item;
                if (!value(item)) return false;
                members.insert_or_assign(std::move(key), std::move(item));
                skip_ws();
                if (eof()) return error("EOF while parsing an object", pos);
                if (peek() == ',') {
                    ++pos;
                    continue;
                }
                if (peek() == '}') {
                    ++pos;
                    break;
                }
                return error("expected `,` or `}`", pos);
            }
        }
        --depth;
        out = Value(std::move(members));
        return true;
    }

    bool hex4(std::uint32_t& cp) {
        if (s.size() - pos < 4) {
            pos = s.size();
            return error("EOF while parsing a string", pos);
        }
        cp = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s[pos];
            cp <<= 4;
            if (c >= '0' && c <= '9')
                cp |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                cp |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                cp |= static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return error("invalid escape", pos);
            ++pos;
        }
        return true;
    }

    bool string(std::string& out) {
        ++pos;  // opening quote
        for (;;) {
            if (eof()) return error("EOF while parsing a string", pos);
            auto c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c < 0x20) return error("control character (\\u0000-\\u001F) found while parsing a string", pos);
            if (c == '\\') {
                ++pos;
                if (eof()) return error("EOF while parsing a string", pos);
                char e = peek();
                ++pos;
                switch (e) {
                    case '"': out += '"'; break;
                    case '\\': out += '\\'; break;
                    case '/': out += '/'; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    case 'u': {
                        std::size_t at = pos - 2;
                        std::uint32_t cp;
                        if (!hex4(cp)) return false;
                        if (cp >= 0xDC00 && cp <= 0xDFFF) return error("lone trailing surrogate in hex escape", at);
                        if (cp >= 0xD800 && cp <= 0xDBFF) {
                            if (s.substr(pos, 2) != "\\u") return error("lone leading surrogate in hex escape", at);
                            pos += 2;
                            std::uint32_t lo;
                            if (!hex4(lo)) return false;
                            if (lo < 0xDC00 || lo > 0xDFFF) return error("lone leading surrogate in hex escape", at);
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                        }
                        append_utf8(out, cp);
                        break;
                    }
                    default: return error("invalid escape", pos - 1);
                }
                continue;
            }
            std::size_t n = utf8_sequence_length(s, pos);
            if (n == 0) return error("invalid unicode code point", pos);
            out.append(s.substr(pos, n));
            pos += n;
        }
    }

    bool number(Value& out) {
        std::size_t start = pos;
        bool negative = false;
        if (peek() == '-') {
            negative = true;
            ++pos;
        }
        auto digit = [&] { return !eof() && peek() >= '0' && peek() <= '9'; };
        if (!digit()) return error("expected value", start);  // "-Infinity" and the like
        if (peek() == '0') {
            ++pos;
            if (digit()) return error("invalid number", pos);
        } else {
            while (digit()) ++pos;
        }
        bool integral = true;
        if (!eof() && peek() == '.') {
            integral = false;
            ++pos;
            if (!digit()) return error("invalid number", pos);
            while (digit()) ++pos;
        }
        if (!eof() && (peek() == 'e' || peek() == 'E')) {
            integral = false;
            ++pos;
            if (!eof() && (peek() == '+' || peek() == '-')) ++pos;
            if (!digit()) return error("invalid number", pos);
            while (digit()) ++pos;
        }
        std::string_view text = s.substr(start, pos - start);
        if (integral) {
            if (negative) {
                std::int64_t i;
                auto r = std::from_chars(text.data(), text.data() + text.size(), i);
                if (r.ec == std::errc() && r.ptr == text.data() + text.size()) {
                    out = Value(i);
                    return true;
                }
            } else {
                std::uint64_t u;
                auto r = std::from_chars(text.data(), text.data() + text.size(), u);
                if (r.ec == std::errc() && r.ptr == text.data() + text.size()) {
                    out = Value(u);
                    return true;
                }
            }
        }
        double d;
        auto r = std::from_chars(text.data(), text.data() + text.size(), d);
        if (r.ec == std::errc::result_out_of_range) {
            // Underflow reads as zero; overflow has no finite value.
            if (!below_one(text)) return error("number out of range", start);
            d = negative ? -0.0 : 0.0;
        } else if (r.ec != std::errc() || !std::isfinite(d)) {
            return error("number out of range", start);
        }
        out = Value(d);
        return true;
    }
};

}  // namespace

Result<Value, ReadError> read(std::string_view text) {
    Reader r;
    r.s = text;
    Value v;
    if (r.value(v)) {
        r.skip_ws();
        if (!r.eof()) r.error("trailing characters", r.pos);
    }
    if (r.failed) return fail(std::move(r.err));
    return v;
}

}  // namespace korvel::json
