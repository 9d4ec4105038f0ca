#include <gtest/gtest.h>

#include <random>

#include "fixture.h"
#include "sql/plan.h"

using namespace fixture;
using korvel::TimeGrain;
using korvel::sql::plan::Query;
using korvel::sql::QueryError;
using korvel::sql::plan::resolve;

namespace {

Query query(std::vector<std::string> metrics, std::vector<std::string> dimensions = {},
            std::optional<TimeGrain> grain = std::nullopt) {
    Query q;
    q.metrics = std::move(metrics);
    q.dimensions = std::move(dimensions);
    q.grain = grain;
    return q;
}

// The error's JSON, or "ok" when the query resolves.
std::string outcome(const Project& p, const Query& q) {
    auto r = resolve(p, q);
    return r ? "ok" : r.error().to_json();
}

}  // namespace

TEST(Resolve, MetricErrors) {
    Project p = shop();
    struct Case {
        std::vector<std::string> metrics;
        const char* result;
    };
    const Case cases[] = {
        {{}, R"({"code":"no_metrics"})"},
        {{"revnue"}, R"({"code":"unknown_metric","name":"revnue","suggestions":["revenue"]})"},
        {{"zzzzzz"}, R"({"code":"unknown_metric","name":"zzzzzz","suggestions":[]})"},
        {{"Revenue"}, R"({"code":"unknown_metric","name":"Revenue","suggestions":["revenue"]})"},
        {{"revenue", "order_count", "customer_count"},
         R"({"code":"metrics_span_tables","tables":["orders","customers"]})"},
        {{"customer_count", "revenue"}, R"({"code":"metrics_span_tables","tables":["customers","orders"]})"},
        // an unknown metric after a span still reports the span first
        {{"revenue", "customer_count", "nope"}, R"({"code":"metrics_span_tables","tables":["orders","customers"]})"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome(p, query(c.metrics)), c.result);
}

TEST(Resolve, MetricLookupTakesFirstDefinitionAndKeepsDuplicates) {
    Model a = model("a", {"x"});
    a.metrics.push_back(metric("m", "SUM(x)"));
    Model b = model("b", {"x"});
    b.metrics.push_back(metric("m", "MAX(x)"));
    b.metrics.push_back(metric("n", "MIN(x)"));
    Project p = project({std::move(a), std::move(b)});
    auto r = resolve(p, query({"m", "m"}));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r->metrics.size(), 2u);
    EXPECT_EQ(r->metrics[0]->expr, "SUM(x)");
    EXPECT_EQ(r->metrics[1], r->metrics[0]);
    EXPECT_EQ(r->base->table.name, "a");
    // names defined twice are suggested twice
    EXPECT_EQ(outcome(p, query({"mm"})), R"({"code":"unknown_metric","name":"mm","suggestions":["m","m","n"]})");
}

TEST(Resolve, BaseModelIsWhereTheLastMetricWasFound) {
    // Two models share a table name: metrics of both count as one table.
    Model a = model("t", {"x"});
    a.metrics.push_back(metric("ma", "SUM(x)"));
    Model b = model("t", {"y", "stamp"});
    b.columns[1].time_dimension = true;
    b.metrics.push_back(metric("mb", "SUM(y)"));
    Project p = project({std::move(a), std::move(b)});
    auto r = resolve(p, query({"ma", "mb"}, {}, TimeGrain::Day));
    ASSERT_TRUE(r.ok()) << r.error().to_json();
    EXPECT_EQ(r->base, &p.models[1].second);
    EXPECT_EQ(r->time_column, "stamp");
}

TEST(Resolve, GrainAndTimeColumn) {
    Project p = shop();
    auto& orders = p.models[0].second;
    orders.metrics[0].valid_grains = {TimeGrain::Day, TimeGrain::Month};

    EXPECT_EQ(outcome(p, query({"order_count", "revenue"}, {}, TimeGrain::Week)),
              R"({"code":"incompatible_grain","metric":"revenue","grain":"week","valid":["day","month"]})");
    auto day = resolve(p, query({"revenue"}, {}, TimeGrain::Day));
    ASSERT_TRUE(day.ok());
    EXPECT_EQ(day->time_column, "order_date");
    EXPECT_TRUE(resolve(p, query({"order_count"}, {}, TimeGrain::Hour)).ok());

    // The first metric with its own time dimension wins over the flagged column,
    // and its text is taken unchecked.
    orders.metrics[1].time_dimension = "shipped_at";
    auto own = resolve(p, query({"revenue", "order_count"}, {}, TimeGrain::Day));
    ASSERT_TRUE(own.ok());
    EXPECT_EQ(own->time_column, "shipped_at");

    // Without a grain nothing about time is consulted.
    auto none = resolve(p, query({"customer_count"}));
    ASSERT_TRUE(none.ok());
    EXPECT_FALSE(none->time_column.has_value());
    EXPECT_EQ(outcome(p, query({"customer_count"}, {}, TimeGrain::Year)),
              R"({"code":"no_time_dimension","table":"customers"})");
}

TEST(Resolve, Dimensions) {
    Project p = shop();
    p.models[1].second.columns[1].synonyms = {"area"};
    // a column shared by two non-base tables
    p.models[1].second.columns.push_back(column("label"));
    p.models[2].second.columns.push_back(column("label"));
    struct Case {
        std::vector<std::string> dimensions;
        const char* result;
    };
    const Case cases[] = {
        {{"customers.nope"}, R"({"code":"unknown_dimension","name":"customers.nope","suggestions":["name"]})"},
        {{"customers.regoin"}, R"({"code":"unknown_dimension","name":"customers.regoin","suggestions":["region"]})"},
        {{"shops.region"}, R"({"code":"unknown_dimension","name":"shops.region","suggestions":[]})"},
        {{"regoin"}, R"({"code":"unknown_dimension","name":"regoin","suggestions":["region"]})"},
        {{"area"}, R"({"code":"unknown_dimension","name":"area","suggestions":[]})"},
        {{"label"}, R"({"code":"ambiguous_dimension","name":"label","candidates":["customers.label","countries.label"]})"},
        {{"customers.region.x"}, R"({"code":"unknown_dimension","name":"customers.region.x","suggestions":["region"]})"},
        {{""}, R"({"code":"unknown_dimension","name":"","suggestions":[]})"},
        // dimension errors win over join errors of earlier dimensions
        {{"customers.region", "nope"}, R"({"code":"unknown_dimension","name":"nope","suggestions":["name"]})"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome(p, query({"revenue"}, c.dimensions)), c.result);

    // customer_id is also a customers column, but the base table wins.
    auto r = resolve(p, query({"revenue"}, {"customer_id", "region", "countries.name", "region"}));
    ASSERT_TRUE(r.ok()) << r.error().to_json();
    ASSERT_EQ(r->dimensions.size(), 4u);
    EXPECT_EQ(r->dimensions[0].table, "orders");
    EXPECT_EQ(r->dimensions[0].column, "customer_id");
    EXPECT_EQ(r->dimensions[1].table, "customers");
    EXPECT_EQ(r->dimensions[2].table, "countries");
    EXPECT_EQ(r->dimensions[2].column, "name");
    EXPECT_EQ(r->dimensions[3].column, "region");
}

TEST(Suggestions, Nearest) {
    using korvel::sql::plan::nearest;
    EXPECT_EQ(nearest("revnue", {"refunds", "revenues", "revenue"}), (std::vector<std::string>{"revenue", "revenues"}));
    EXPECT_EQ(nearest("ab", {"xb", "ac", "aa", "ab", "bb", "a"}), (std::vector<std::string>{"ab", "a", "aa"}));
    EXPECT_EQ(nearest("abc", {"abd", "abb", "aXc", "zbc"}), (std::vector<std::string>{"aXc", "abb", "abd"}));
    EXPECT_TRUE(nearest("abc", {"xyz", ""}).empty());
    EXPECT_EQ(nearest("", {"ab", "abc", "a"}), (std::vector<std::string>{"a", "ab"}));
}

TEST(Suggestions, LevenshteinCountsCodePoints) {
    using korvel::sql::plan::levenshtein;
    EXPECT_EQ(levenshtein("café", "cafe"), 1u);
    EXPECT_EQ(levenshtein("naïve", "naive"), 1u);
    EXPECT_EQ(levenshtein("", "日本"), 2u);
    EXPECT_EQ(levenshtein("kitten", "sitting"), 3u);
    EXPECT_EQ(levenshtein("abc", ""), 3u);
    EXPECT_EQ(levenshtein("Region", "region"), 1u);
}

TEST(Suggestions, BoundedDistanceAgreesWithFullDistance) {
    using korvel::sql::plan::levenshtein;
    using korvel::sql::plan::levenshtein_bounded;
    std::mt19937 rng(7);
    const char* alphabet[] = {"a", "b", "c", "é"};
    auto random_text = [&] {
        std::string s;
        std::size_t len = rng() % 9;
        for (std::size_t i = 0; i < len; ++i) s += alphabet[rng() % 4];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        std::string a = random_text(), b = random_text();
        std::size_t limit = rng() % 4;
        EXPECT_EQ(levenshtein_bounded(a, b, limit), std::min(levenshtein(a, b), limit + 1)) << a << " / " << b;
    }
}

TEST(Suggestions, HugeNamesStayCheap) {
    Project p = shop();
    std::string huge(4'000'000, 'x');
    EXPECT_EQ(outcome(p, query({huge})), fmt::format(R"({{"code":"unknown_metric","name":"{}","suggestions":[]}})", huge));
    for (int i = 0; i < 5000; ++i) p.models[1].second.columns.push_back(column(fmt::format("col{}", i)));
    auto many = resolve(p, query({"revenue"}, {huge}));
    ASSERT_FALSE(many.ok());
    EXPECT_TRUE(many.error().get<QueryError::UnknownDimension>()->suggestions.empty());
    p.models[0].second.columns.push_back(column(std::string(2'000'000, 'y')));
    std::string near(2'000'000, 'y');
    near[1000] = 'z';
    auto r = resolve(p, query({"revenue"}, {near}));
    ASSERT_FALSE(r.ok());
    const auto* e = r.error().get<QueryError::UnknownDimension>();
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->suggestions.size(), 1u);
    EXPECT_EQ(e->suggestions[0].size(), 2'000'000u);
}
