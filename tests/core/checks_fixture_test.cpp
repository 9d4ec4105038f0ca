// The broken fixture project and the example project, read from disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bundle.h"
#include "core/context.h"
#include "core/lint.h"
#include "core/project.h"
#include "core/validate.h"
#include "project_fixture.h"

using namespace korvel;

namespace {

const std::string kSource = KORVEL_SOURCE_DIR;

Project load_or_die(const std::string& path) {
    auto loaded = Project::load(path);
    if (!loaded) ADD_FAILURE() << loaded.error().text();
    return loaded ? std::move(loaded).value() : Project{};
}

std::string bad_type(const std::string& column, const std::string& type) {
    return "column `" + column + "`: unknown column type `" + type +
           "` (expected one of int8..int64, uint8..uint64, float32, float64, decimal(p,s), string, bool, "
           "date, timestamp, time, binary)";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Compares `actual` with a kept output. With KORVEL_UPDATE_GOLDEN=1 set, the
// file is rewritten instead, for a deliberate change of the example project.
void expect_golden(const std::string& actual, const std::string& name) {
    const std::string path = kSource + "/tests/golden/" + name;
    if (const char* update = std::getenv("KORVEL_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    EXPECT_EQ(actual, read_file(path))
        << "output for examples/shop differs from tests/golden/" << name
        << ". If the example project was changed on purpose, regenerate with "
           "KORVEL_UPDATE_GOLDEN=1 build/tests/korvel_core_tests --gtest_filter='ShopExample.*' "
           "and review the diff by eye.";
}

}  // namespace

TEST(BrokenFixture, ValidationFindingsInOrder) {
    const std::string o = "models/orders.yml", c = "models/customers.yml", e = "models/events.yml";
    const std::vector<Issue> expected = {
        {"extra/nested/orders_copy.yml", "source format `Snowflake` requires `connection`"},
        {c, "source format `Postgres` does not match connection `warehouse` of kind `Duckdb`"},
        {c, bad_type("email", "varchar")},
        {c, "duplicate column `email`"},
        {c, "multiple columns marked time_dimension (signup_date, updated_at); only one default time axis allowed"},
        {e, "source format `Csv` requires `location`"},
        {e, "csv/txt sources must declare columns (no embedded schema)"},
        {o, "duplicate table name `orders`"},
        {o, "source format `Parquet` requires `location`"},
        {o, "file-based sources must not set `connection`"},
        {o, "duplicate metric `revenue`"},
        {o, "metric `revenue` has an empty expr"},
        {o, "metric `aov` references time_dimension `ordered_at` which is not a column"},
        {o, "view `recent` has an empty sql body"},
        {o, "duplicate view `recent`"},
        {o, "table `orders` is deprecated but has no `deprecation` note telling agents what to use instead"},
        {e, "relationship to `orders` uses local column `order_id` which is not defined"},
        {o, "relationship target `Customers` is not a table in this project"},
        {o, "relationship to `customers` sets both `on` and `columns`; pick one"},
        {o, "relationship to `customers` needs `on` or `columns`"},
        {o, "relationship to `customers` uses local column `cust` which is not defined"},
        {o, "relationship to `customers` uses remote column `id` which `customers` does not define"},
    };
    EXPECT_EQ(validate(load_or_die(kSource + "/tests/fixtures/broken")), expected);
}

TEST(BrokenFixture, LintWarningsInOrder) {
    const std::string o = "models/orders.yml", c = "models/customers.yml", e = "models/events.yml";
    const std::vector<Issue> expected = {
        {c, "table `customers` has no description"},
        {c, "table `customers` has no grain; agents cannot reason about row meaning"},
        {c, "column `customer_id` has no description"},
        {c, "column `email` has no description"},
        {c, "column `signup_date` has no description"},
        {e, "table `events` has no description"},
        {e, "table `events` has no grain; agents cannot reason about row meaning"},
        {e, "table `events` has no owner"},
        {e, "table `events` declares no primary key column"},
        {o, "table `orders` has no description"},
        {o, "table `orders` has no owner"},
        {o, "table `orders` declares no primary key column"},
        {o, "column `order_id` has no description"},
        {o, "column `customer_id` has no description"},
        {o, "column `amount` has no description"},
        {o, "column `created_at` has no description"},
        {o, "metric `revenue` has no description"},
        {o, "metric `revenue` has no `context`; agents will guess at caveats"},
        {o, "metric `revenue` has no example_queries; these anchor agent question-matching"},
        {o, "metric `revenue` has no description"},
        {o, "metric `revenue` has no `context`; agents will guess at caveats"},
        {o, "metric `revenue` has no example_queries; these anchor agent question-matching"},
        {o, "metric `aov` has no `context`; agents will guess at caveats"},
        {o, "metric `aov` has no example_queries; these anchor agent question-matching"},
    };
    EXPECT_EQ(lint(load_or_die(kSource + "/tests/fixtures/broken")), expected);
}

TEST(ShopExample, IsValidAndLintClean) {
    Project shop = load_or_die(kSource + "/examples/shop");
    ASSERT_FALSE(shop.models.empty());
    EXPECT_EQ(validate(shop), std::vector<Issue>{});
    EXPECT_EQ(lint(shop), std::vector<Issue>{});
}

TEST(ShopExample, MarkdownAndBundleMatchGoldenFiles) {
    Project shop = load_or_die(kSource + "/examples/shop");
    expect_golden(context_markdown(shop), "shop.md");
    expect_golden(json::write(to_json(compile(shop))) + "\n", "shop_bundle.json");
}
