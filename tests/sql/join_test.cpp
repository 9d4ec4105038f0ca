#include <gtest/gtest.h>

#include "fixture.h"
#include "sql/plan.h"

using namespace fixture;
using korvel::sql::plan::bfs_path;
using korvel::sql::plan::build_join_graph;
using korvel::sql::plan::JoinStep;
using korvel::sql::plan::Query;
using korvel::sql::plan::resolve;

namespace {

// The joins as "from.col>to.col" texts, or the error's JSON.
std::string joins(const Project& p, std::vector<std::string> dimensions, std::string metric = "m") {
    Query q;
    q.metrics = {std::move(metric)};
    q.dimensions = std::move(dimensions);
    auto r = resolve(p, q);
    if (!r) return r.error().to_json();
    std::string out;
    for (const JoinStep& j : r->joins) {
        if (!out.empty()) out += " ";
        out += j.from_table + "." + j.from_column + ">" + j.to_table + "." + j.to_column;
    }
    return out;
}

Model with_metric(Model m) {
    m.metrics.push_back(metric("m", "COUNT(*)"));
    return m;
}

}  // namespace

TEST(Joins, DirectionAndFanOut) {
    // Declared on orders as many_to_one.
    Model orders = with_metric(model("orders", {"customer_id"}));
    orders.relationships.push_back(rel_on("customers", Cardinality::ManyToOne, "customer_id"));
    Project declared_on_orders = project({orders, model("customers", {"customer_id", "region"})});
    EXPECT_EQ(joins(declared_on_orders, {"customers.region"}), "orders.customer_id>customers.customer_id");

    // Declared on customers as one_to_many: the reverse edge is the safe one.
    Model customers = model("customers", {"customer_id", "region"});
    customers.relationships.push_back(rel_on("orders", Cardinality::OneToMany, "customer_id"));
    Project declared_on_customers = project({with_metric(model("orders", {"customer_id"})), customers});
    EXPECT_EQ(joins(declared_on_customers, {"region"}), "orders.customer_id>customers.customer_id");

    // From customers towards orders every path fans out.
    Model c2 = with_metric(model("customers", {"customer_id"}));
    c2.metrics[0].name = "c";
    c2.relationships.push_back(rel_on("orders", Cardinality::OneToMany, "customer_id"));
    Project fan = project({c2, model("orders", {"customer_id", "status"})});
    EXPECT_EQ(joins(fan, {"status"}, "c"), R"({"code":"fan_out_join","from":"customers","to":"orders"})");

    // many_to_many fans out both ways; one_to_one never does.
    for (auto [type, result] : {std::pair{Cardinality::ManyToMany, R"({"code":"fan_out_join","from":"a","to":"b"})"},
                                std::pair{Cardinality::OneToOne, "a.k>b.k"}}) {
        Model a = with_metric(model("a", {"k"}));
        a.relationships.push_back(rel_on("b", type, "k"));
        EXPECT_EQ(joins(project({a, model("b", {"k", "v"})}), {"b.v"}), result);
        Model b = model("b", {"k", "v"});
        b.relationships.push_back(rel_on("a", type, "k"));
        EXPECT_EQ(joins(project({with_metric(model("a", {"k"})), b}), {"b.v"}), result);
    }
}

TEST(Joins, PathsAndErrors) {
    Project p = shop();
    for (auto& [path, m] : p.models)
        if (m.table.name == "orders") m.metrics.push_back(metric("m", "COUNT(*)"));
    struct Case {
        std::vector<std::string> dimensions;
        const char* result;
    };
    const Case cases[] = {
        {{"status"}, ""},
        {{"region", "customers.customer_id"}, "orders.customer_id>customers.customer_id"},
        {{"countries.name", "region"},
         "orders.customer_id>customers.customer_id customers.country_id>countries.country_id"},
        {{"region", "countries.name"},
         "orders.customer_id>customers.customer_id customers.country_id>countries.country_id"},
    };
    for (const auto& c : cases) EXPECT_EQ(joins(p, c.dimensions), c.result);

    // The first failing dimension decides.
    p.models.emplace_back("models/9999.yml", model("stores", {"store_id"}));
    EXPECT_EQ(joins(p, {"region", "store_id", "countries.name"}), R"({"code":"no_join_path","from":"orders","to":"stores"})");
}

TEST(Joins, UnusableRelationshipsGiveNoEdges) {
    Model a = with_metric(model("a", {"k"}));
    a.relationships.push_back(rel_on("ghost", Cardinality::ManyToOne, "k"));  // no such table
    Relationship both = rel_on("b", Cardinality::ManyToOne, "k");
    both.columns = korvel::JoinColumns{"k", "k"};
    a.relationships.push_back(both);
    Relationship neither;
    neither.to = "b";
    a.relationships.push_back(neither);
    Project p = project({a, model("b", {"k", "v"})});
    EXPECT_TRUE(build_join_graph(p).empty());
    EXPECT_EQ(joins(p, {"v"}), R"({"code":"no_join_path","from":"a","to":"b"})");

    // The columns form joins local to remote.
    a.relationships = {rel_columns("b", Cardinality::ManyToOne, "b_key", "key")};
    EXPECT_EQ(joins(project({a, model("b", {"key", "v"})}), {"v"}), "a.b_key>b.key");
}

TEST(Joins, FanOutNamesTheFirstFanningEdgeOfThePath) {
    // a -> b safe, b -> c fans out: the error names b and c, not the base table.
    Model a = with_metric(model("a", {"k"}));
    a.relationships.push_back(rel_on("b", Cardinality::ManyToOne, "k"));
    Model b = model("b", {"k", "j"});
    b.relationships.push_back(rel_on("c", Cardinality::OneToMany, "j"));
    EXPECT_EQ(joins(project({a, b, model("c", {"j", "v"})}), {"c.v"}),
              R"({"code":"fan_out_join","from":"b","to":"c"})");
}

TEST(Joins, ShortestPathAndTieBreaking) {
    // a reaches d through b or through c (both two hops), and directly via a
    // fanning edge. The safe path whose first edge comes first in the list wins.
    Model a = with_metric(model("a", {"k"}));
    a.relationships.push_back(rel_on("c", Cardinality::ManyToOne, "ck"));
    a.relationships.push_back(rel_on("b", Cardinality::ManyToOne, "bk"));
    a.relationships.push_back(rel_on("d", Cardinality::OneToMany, "dk"));
    Model b = model("b", {"bk"});
    b.relationships.push_back(rel_on("d", Cardinality::ManyToOne, "via_b"));
    Model c = model("c", {"ck"});
    c.relationships.push_back(rel_on("d", Cardinality::ManyToOne, "via_c"));
    Project p = project({a, b, c, model("d", {"v"})});
    EXPECT_EQ(joins(p, {"d.v"}), "a.ck>c.ck c.via_c>d.via_c");
    // Each search starts at the base table, not at b joined before.
    EXPECT_EQ(joins(p, {"b.bk", "d.v"}), "a.bk>b.bk a.ck>c.ck c.via_c>d.via_c");

    auto edges = build_join_graph(p);
    ASSERT_EQ(edges.size(), 10u);
    // With fan-out allowed the direct edge is shortest.
    auto direct = bfs_path(edges, "a", "d", true);
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(*direct, std::vector<std::size_t>{4});
    EXPECT_EQ(bfs_path(edges, "a", "a", false), std::vector<std::size_t>{});
    EXPECT_FALSE(bfs_path(edges, "a", "nowhere", true).has_value());
}

TEST(Joins, RelationshipDeclaredTwiceGivesFourEdges) {
    Model a = with_metric(model("a", {"k"}));
    a.relationships.push_back(rel_on("b", Cardinality::ManyToOne, "k"));
    Model b = model("b", {"k", "v"});
    b.relationships.push_back(rel_on("a", Cardinality::OneToMany, "k"));
    Project p = project({a, b});
    auto edges = build_join_graph(p);
    ASSERT_EQ(edges.size(), 4u);
    EXPECT_FALSE(edges[0].fans_out);
    EXPECT_TRUE(edges[1].fans_out);
    EXPECT_EQ(edges[2].from_table, "b");
    EXPECT_TRUE(edges[2].fans_out);
    EXPECT_FALSE(edges[3].fans_out);
    EXPECT_EQ(joins(p, {"v"}), "a.k>b.k");
}

TEST(Joins, LongChainsAndManyTables) {
    // A chain of 3000 tables: one join per hop, in travel order.
    std::vector<Model> models;
    for (int i = 0; i < 3000; ++i) {
        Model m = model(fmt::format("t{}", i), {"k", "v"});
        if (i + 1 < 3000) m.relationships.push_back(rel_on(fmt::format("t{}", i + 1), Cardinality::ManyToOne, "k"));
        if (i == 0) m.metrics.push_back(metric("m", "COUNT(*)"));
        models.push_back(std::move(m));
    }
    Project p = project(std::move(models));
    Query q;
    q.metrics = {"m"};
    for (int i = 2999; i >= 0; --i) q.dimensions.push_back(fmt::format("t{}.v", i));
    auto r = resolve(p, q);
    ASSERT_TRUE(r.ok()) << r.error().to_json();
    ASSERT_EQ(r->joins.size(), 2999u);
    EXPECT_EQ(r->joins.front().to_table, "t1");
    EXPECT_EQ(r->joins.back().to_table, "t2999");
}
