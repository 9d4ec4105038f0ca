// The generic JSON value in which structured results are built and from which
// queries are read, with its compact writer and strict reader.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/result.h"

namespace korvel::json {

class Value;
using Array = std::vector<Value>;
// std::string orders by unsigned bytes, so members iterate in byte order.
using Object = std::map<std::string, Value, std::less<>>;

struct Null {
    friend bool operator==(const Null&, const Null&) = default;
};

class Value {
public:
    enum class Kind { Null, Bool, UInt, Int, Float, String, Array, Object };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(std::uint64_t u) : v_(u) {}
    Value(std::uint32_t u) : v_(std::uint64_t{u}) {}
    // Non-negative signed integers are stored unsigned; only negatives stay signed.
    Value(std::int64_t i);
    Value(int i) : Value(std::int64_t{i}) {}
    Value(double d) : v_(d) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Object o) : v_(std::move(o)) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool is_null() const { return kind() == Kind::Null; }
    bool is_bool() const { return kind() == Kind::Bool; }
    bool is_uint() const { return kind() == Kind::UInt; }
    bool is_int() const { return kind() == Kind::Int; }
    bool is_float() const { return kind() == Kind::Float; }
    bool is_string() const { return kind() == Kind::String; }
    bool is_array() const { return kind() == Kind::Array; }
    bool is_object() const { return kind() == Kind::Object; }

    bool as_bool() const { return std::get<bool>(v_); }
    std::uint64_t as_uint() const { return std::get<std::uint64_t>(v_); }
    std::int64_t as_int() const { return std::get<std::int64_t>(v_); }
    double as_float() const { return std::get<double>(v_); }
    const std::string& as_string() const { return std::get<std::string>(v_); }
    const Array& as_array() const { return std::get<Array>(v_); }
    Array& as_array() { return std::get<Array>(v_); }
    const Object& as_object() const { return std::get<Object>(v_); }
    Object& as_object() { return std::get<Object>(v_); }

    // Object member access: inserting a present key replaces its value.
    void set(std::string key, Value value);
    // nullptr when this is not an object or has no such member.
    const Value* find(std::string_view key) const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    std::variant<Null, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object> v_;
};

// Compact writer: no whitespace, floats in shortest round-trip form with a
// fraction or exponent, non-ASCII written as raw UTF-8.
std::string write(const Value& value);
// The same text, refusing what JSON text cannot carry (a non-finite float, a
// string or key that is not valid UTF-8) with a description of the fault.
Result<std::string, std::string> write_strict(const Value& value);
// Appends one JSON string literal (quotes and escapes) to `out`.
void write_string(std::string& out, std::string_view text);

struct ReadError {
    std::string description;
    std::size_t line = 1;
    std::size_t column = 1;
    // "{description} at line {line} column {column}"
    std::string text() const;
};

// Strict reader of exactly one value surrounded by optional whitespace;
// at most 127 levels of arrays and objects.
Result<Value, ReadError> read(std::string_view text);

}  // namespace korvel::json
