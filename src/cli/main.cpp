// The korvel command: the module's six functions for people and scripts,
// with no Python at run time.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/pretty.h"
#include "core/bundle.h"
#include "core/context.h"
#include "core/json.h"
#include "core/lint.h"
#include "core/project.h"
#include "core/schema.h"
#include "core/validate.h"
#include "sql/dialect.h"
#include "sql/plan.h"
#include "sql/render.h"

namespace korvel::cli {

namespace {

constexpr int kOk = 0;
constexpr int kRefused = 1;   // findings, or a load or query the system refused
constexpr int kUsage = 2;     // the command line itself is wrong
constexpr int kInternal = 3;  // a fault of korvel itself

void out(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}

// Text results (SQL, Markdown) under --json: one JSON string.
void out_text(const std::string& text, bool as_json) {
    if (as_json) {
        std::string s;
        json::write_string(s, text);
        out(s + "\n");
    } else {
        out(text);
        if (text.empty() || text.back() != '\n') out("\n");
    }
}

void out_json(const json::Value& value, bool as_json) {
    out((as_json ? json::write(value) : write_pretty(value)) + "\n");
}

std::optional<Project> load(const std::string& path) {
    auto loaded = Project::load(path);
    if (!loaded) {
        err(loaded.error().text());
        return std::nullopt;
    }
    return std::move(loaded).value();
}

int findings(const std::vector<Issue>& issues, bool as_json, std::string_view none) {
    if (as_json) {
        out(json::write(issues_to_json(issues)) + "\n");
    } else {
        for (const auto& issue : issues) out(issue.text() + "\n");
        if (issues.empty()) err(none);
    }
    return issues.empty() ? kOk : kRefused;
}

// Context and bundle describe a project to agents; an invalid one would
// mislead them, so it is refused with every finding.
bool refuse_invalid(const Project& project) {
    const auto issues = validate(project);
    if (issues.empty()) return false;
    std::string message = "project has validation errors: ";
    for (std::size_t i = 0; i < issues.size(); ++i) {
        if (i) message += "; ";
        message += issues[i].text();
    }
    err(message);
    return true;
}

struct QueryArgs {
    std::string path;
    std::string query;  // JSON text, or @file, or @- for standard input
    std::vector<std::string> metrics, dimensions, filters, order_by;
    std::string grain;
    std::string limit;
    std::string dialect = "duckdb";
    CLI::Option* query_opt = nullptr;
    CLI::Option* grain_opt = nullptr;
    CLI::Option* limit_opt = nullptr;
};

json::Value texts(const std::vector<std::string>& items) {
    return json::Array(items.begin(), items.end());
}

// The flags spell the same object a caller would pass as JSON, so both
// forms go through one reader and meet the same rules.
// Decimal digits only: the option parser's own integer conversion wraps -1
// round to the largest value and saturates on overflow.
std::optional<std::uint64_t> parse_limit(std::string_view text) {
    std::uint64_t n = 0;
    const auto* end = text.data() + text.size();
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return n;
}

json::Value query_from_flags(const QueryArgs& a) {
    json::Object q{{"metrics", texts(a.metrics)}, {"dimensions", texts(a.dimensions)},
                   {"filters", texts(a.filters)}};
    if (a.grain_opt->count()) q.emplace("grain", a.grain);
    if (a.limit_opt->count()) q.emplace("limit", *parse_limit(a.limit));
    json::Array order;
    for (const auto& key : a.order_by) {
        const bool desc = !key.empty() && key.front() == '-';
        json::Value entry = json::Object{};
        entry.set("field", desc ? key.substr(1) : key);
        entry.set("desc", desc);
        order.push_back(std::move(entry));
    }
    q.emplace("order_by", std::move(order));
    return q;
}

// Reads --query's text: inline JSON, @file, or @- for standard input.
std::optional<std::string> query_text(const std::string& arg) {
    if (arg.empty() || arg.front() != '@') return arg;
    const std::string file = arg.substr(1);
    if (file == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        err("cannot read query file " + file + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) {
        err("cannot read query file " + file);
        return std::nullopt;
    }
    return s.str();
}

int run_sql(const QueryArgs& a, bool as_json) {
    const auto dialect = sql::from_str_loose(a.dialect);
    if (!dialect) {
        err("unknown dialect `" + a.dialect + "`");
        return kUsage;
    }
    if (!a.query_opt->count() && a.metrics.empty()) {
        err("give the query as --query JSON, --query @file.json, or with at least one --metric");
        return kUsage;
    }
    if (a.limit_opt->count() && !parse_limit(a.limit)) {
        err("--limit takes a whole number of rows, not `" + a.limit + "`");
        return kUsage;
    }
    json::Value value;
    if (a.query_opt->count()) {
        const auto text = query_text(a.query);
        if (!text) return kUsage;
        auto read = json::read(*text);
        if (!read) {
            err("bad query JSON: " + read.error().text());
            return kRefused;
        }
        value = std::move(read).value();
    } else {
        value = query_from_flags(a);
    }
    const auto project = load(a.path);
    if (!project) return kRefused;
    auto query = sql::plan::read_query(value);
    if (!query) {
        err("bad query: " + query.error());
        return kRefused;
    }
    auto statement = sql::generate_sql(*project, *query, *dialect);
    if (!statement) {
        // The same JSON object the module raises, so agents branch on `code`.
        err(statement.error().to_json());
        return kRefused;
    }
    out_text(*statement, as_json);
    return kOk;
}

int run(int argc, char** argv) {
    CLI::App app{"korvel: a semantic layer for AI agents. Checks a project of YAML model files, "
                 "generates SQL for semantic queries and renders agent-ready context."};
    app.name("korvel");
    app.set_version_flag("--version", "korvel 0.1.0");
    app.require_subcommand(1);
    app.footer("Exit status: 0 success; 1 findings, or a load or query that was refused "
               "(the message on standard error); 2 usage error; 3 internal fault.");

    bool as_json = false;
    const auto json_flag = [&](CLI::App* cmd) {
        cmd->add_flag("--json", as_json, "machine-readable JSON output (compact, one line)");
    };
    const auto path_arg = [](CLI::App* cmd, std::string& path) {
        cmd->add_option("path", path, "project directory, or the path of its manifest file")->required();
    };

    std::string path;
    auto* validate_cmd = app.add_subcommand(
        "validate", "List the errors that make the project unusable; exit 1 when there are any");
    path_arg(validate_cmd, path);
    json_flag(validate_cmd);

    auto* lint_cmd = app.add_subcommand(
        "lint", "List missing agent-facing documentation; exit 1 when there are warnings");
    path_arg(lint_cmd, path);
    json_flag(lint_cmd);

    QueryArgs q;
    auto* sql_cmd = app.add_subcommand("sql", "Generate one SQL SELECT statement for a semantic query");
    path_arg(sql_cmd, q.path);
    q.query_opt = sql_cmd->add_option(
        "--query", q.query,
        "the whole query as JSON, e.g. '{\"metrics\": [\"revenue\"], \"dimensions\": [\"country\"]}', "
        "or @file.json, or @- to read standard input");
    auto* metric_opt = sql_cmd->add_option("-m,--metric", q.metrics, "a metric to compute (repeatable)");
    auto* dim_opt = sql_cmd->add_option("-d,--dimension", q.dimensions,
                                        "a dimension to group by: column or table.column (repeatable)");
    auto* filter_opt = sql_cmd->add_option("--filter", q.filters, "a SQL boolean condition (repeatable)");
    q.grain_opt = sql_cmd->add_option("--grain", q.grain, "time grain: hour, day, week, month, quarter or year");
    auto* order_opt = sql_cmd->add_option(
        "--order-by", q.order_by, "an output column to sort by; a leading - sorts descending (repeatable)");
    q.limit_opt = sql_cmd->add_option("--limit", q.limit, "maximum number of rows");
    sql_cmd->add_option("--dialect", q.dialect,
                        "duckdb (default), postgres, databricks, snowflake or sqlserver");
    for (auto* opt : {metric_opt, dim_opt, filter_opt, order_opt}) opt->allow_extra_args(false);
    for (auto* opt : {metric_opt, dim_opt, filter_opt, q.grain_opt, order_opt, q.limit_opt})
        q.query_opt->excludes(opt);
    json_flag(sql_cmd);

    auto* context_cmd = app.add_subcommand("context", "Render a valid project as agent-ready Markdown");
    path_arg(context_cmd, path);
    json_flag(context_cmd);

    auto* bundle_cmd = app.add_subcommand(
        "bundle", "Compile a valid project into its context bundle (indented JSON; --json for one line)");
    path_arg(bundle_cmd, path);
    json_flag(bundle_cmd);

    auto* schema_cmd = app.add_subcommand(
        "schema", "Print the JSON Schema of model files (indented; --json for one line)");
    json_flag(schema_cmd);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);  // prints help, version or the error
        return code == 0 ? kOk : kUsage;
    }

    if (*validate_cmd || *lint_cmd) {
        const auto project = load(path);
        if (!project) return kRefused;
        if (*validate_cmd) return findings(validate(*project), as_json, "no validation errors");
        return findings(lint(*project), as_json, "no lint warnings");
    }
    if (*sql_cmd) return run_sql(q, as_json);
    if (*context_cmd || *bundle_cmd) {
        const auto project = load(path);
        if (!project) return kRefused;
        if (refuse_invalid(*project)) return kRefused;
        if (*context_cmd)
            out_text(context_markdown(*project), as_json);
        else
            out_json(to_json(compile(*project)), as_json);
        return kOk;
    }
    if (*schema_cmd) {
        out_json(model_json_schema(), as_json);
        return kOk;
    }
    return kUsage;
}

}  // namespace

}  // namespace korvel::cli

int main(int argc, char** argv) {
    try {
        const int code = korvel::cli::run(argc, argv);
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "korvel: cannot write output: %s\n", std::strerror(errno));
            return korvel::cli::kRefused;
        }
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvel: internal error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "korvel: internal error\n");
    }
    return korvel::cli::kInternal;
}
