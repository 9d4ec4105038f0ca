#include "cli/pretty.h"

namespace korvel::cli {

namespace {

// The reader caps nesting at 127 levels, and every value the command prints
// is built by the system itself, so plain recursion stays shallow.
void write_into(std::string& out, const json::Value& v, std::size_t depth) {
    const auto newline = [&](std::size_t d) {
        out += '\n';
        out.append(2 * d, ' ');
    };
    if (v.is_array()) {
        const auto& items = v.as_array();
        if (items.empty()) {
            out += "[]";
            return;
        }
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i) out += ',';
            newline(depth + 1);
            write_into(out, items[i], depth + 1);
        }
        newline(depth);
        out += ']';
    } else if (v.is_object()) {
        const auto& members = v.as_object();
        if (members.empty()) {
            out += "{}";
            return;
        }
        out += '{';
        bool first = true;
        for (const auto& [key, child] : members) {
            if (!first) out += ',';
            first = false;
            newline(depth + 1);
            json::write_string(out, key);
            out += ": ";
            write_into(out, child, depth + 1);
        }
        newline(depth);
        out += '}';
    } else {
        out += json::write(v);
    }
}

}  // namespace

std::string write_pretty(const json::Value& value) {
    std::string out;
    write_into(out, value, 0);
    return out;
}

}  // namespace korvel::cli
