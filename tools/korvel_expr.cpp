// korvel-expr: parses and prints one SQL expression per input line.
//
//   korvel-expr --dialect NAME [--qualify TABLE:COL,COL,...]
//
// Each input line is a JSON string holding one expression; each output line is
// {"sql": "..."} with the printed form or {"error": "..."} with the description.
#include <cstdio>
#include <iostream>
#include <set>
#include <string>

#include <fmt/format.h>

#include "core/json.h"
#include "sql/dialect.h"
#include "sql/expr.h"

namespace {

using namespace korvel;

int usage(const std::string& message) {
    std::cerr << "korvel-expr: " << message << "\n"
              << "usage: korvel-expr --dialect NAME [--qualify TABLE:COL,COL,...]\n";
    return 2;
}

struct Qualify {
    std::string table;
    std::set<std::string, std::less<>> columns;
};

json::Value handle(const std::string& line, sql::Dialect dialect, const std::optional<Qualify>& qualify) {
    auto error = [](std::string message) { return json::Value(json::Object{{"error", std::move(message)}}); };
    auto value = json::read(line);
    if (!value) return error(fmt::format("invalid JSON input: {}", value.error().text()));
    if (!value->is_string()) return error("input line is not a JSON string");
    const std::string& text = value->as_string();
    auto parsed = sql::parse_expr(text, dialect);
    if (!parsed) return error(parsed.error());
    if (parsed->next)
        return error(fmt::format("unexpected trailing input starting at `{}`; expected a single expression", *parsed->next));
    if (qualify) {
        char quote = sql::traits(dialect).quote_open;
        sql::walk(parsed->expr, [&](sql::ExprPtr& e) {
            const auto* id = e->as<sql::Identifier>();
            if (id && qualify->columns.count(id->name.value)) e = sql::compound({qualify->table, id->name.value}, quote);
        });
    }
    return json::Value(json::Object{{"sql", sql::print(*parsed->expr)}});
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<sql::Dialect> dialect;
    std::optional<Qualify> qualify;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--dialect" || arg == "--qualify") && i + 1 >= argc) return usage(arg + " needs a value");
        if (arg == "--dialect") {
            dialect = sql::from_str_loose(argv[++i]);
            if (!dialect) return usage(fmt::format("unknown dialect `{}`", argv[i]));
        } else if (arg == "--qualify") {
            std::string value = argv[++i];
            auto colon = value.find(':');
            if (colon == std::string::npos || colon == 0) return usage("--qualify expects TABLE:COL,COL,...");
            Qualify q;
            q.table = value.substr(0, colon);
            std::string cols = value.substr(colon + 1);
            for (std::size_t start = 0; start <= cols.size();) {
                auto comma = cols.find(',', start);
                if (comma == std::string::npos) comma = cols.size();
                if (comma > start) q.columns.insert(cols.substr(start, comma - start));
                start = comma + 1;
            }
            qualify = std::move(q);
        } else {
            return usage(fmt::format("unknown argument `{}`", arg));
        }
    }
    if (!dialect) return usage("--dialect is required");
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::string out = json::write(handle(line, *dialect, qualify));
        out += '\n';
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    std::fflush(stdout);
    return 0;
}
