#include "core/lint.h"

#include <gtest/gtest.h>

#include "project_fixture.h"

using namespace korvel;
using namespace korvel::testing;

namespace {

// A table lint has nothing to say about.
Model documented(std::string name) {
    Model m = table(std::move(name));
    m.table.description = "One row per order.";
    m.table.grain = "one order";
    m.table.owner = "sales";
    m.columns.front().primary_key = true;
    m.columns.front().description = "Key.";
    return m;
}

}  // namespace

TEST(Lint, DocumentedModelIsSilent) {
    EXPECT_TRUE(lint(project({})).empty());
    EXPECT_TRUE(lint(project({{"a.yml", documented("orders")}})).empty());
}

TEST(Lint, AbsentWarnsButPresentAndEmptyDoesNot) {
    Model m = documented("orders");
    m.table.description = "";
    m.table.grain = "  ";
    m.table.owner = "\u00A0";
    m.columns.front().description = "";
    Metric blank = metric("revenue");
    blank.description = "";
    blank.context = " ";
    blank.example_queries = {""};
    m.metrics.push_back(blank);
    EXPECT_TRUE(lint(project({{"a.yml", m}})).empty());
}

TEST(Lint, WarningsInOrderPerModel) {
    Model bare = table("events");
    bare.columns.clear();
    bare.metrics.push_back(metric("count"));

    Model orders = documented("orders");
    orders.columns.push_back(column("amount"));
    orders.columns.push_back(column("note"));
    orders.columns.back().description = "Free text.";
    orders.columns.push_back(column("status"));
    orders.columns.front().primary_key = false;
    orders.metrics.push_back(metric("revenue"));
    orders.metrics.back().context = "Gross.";
    orders.metrics.push_back(metric("aov"));
    orders.metrics.back().description = "Average order value.";
    orders.metrics.back().example_queries = {"What is the AOV?"};
    orders.table.owner.reset();

    const std::vector<Issue> expected = {
        {"a.yml", "table `events` has no description"},
        {"a.yml", "table `events` has no grain; agents cannot reason about row meaning"},
        {"a.yml", "table `events` has no owner"},
        {"a.yml", "table `events` declares no primary key column"},
        {"a.yml", "metric `count` has no description"},
        {"a.yml", "metric `count` has no `context`; agents will guess at caveats"},
        {"a.yml", "metric `count` has no example_queries; these anchor agent question-matching"},
        {"b.yml", "table `orders` has no owner"},
        {"b.yml", "table `orders` declares no primary key column"},
        {"b.yml", "column `amount` has no description"},
        {"b.yml", "column `status` has no description"},
        {"b.yml", "metric `revenue` has no description"},
        {"b.yml", "metric `revenue` has no example_queries; these anchor agent question-matching"},
        {"b.yml", "metric `aov` has no `context`; agents will guess at caveats"},
    };
    EXPECT_EQ(lint(project({{"a.yml", bare}, {"b.yml", orders}})), expected);
}

TEST(Lint, IgnoresValidationErrors) {
    Model m = documented("orders");
    m.source.location.reset();
    m.columns.push_back(column("id", "nonsense"));
    m.columns.back().description = "dup";
    m.relationships.push_back(on_column("nowhere", "x"));
    EXPECT_TRUE(lint(project({{"a.yml", m}, {"b.yml", documented("orders")}})).empty());
}
