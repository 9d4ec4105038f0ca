#include "core/bundle.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "project_fixture.h"

using namespace korvel;
using namespace korvel::testing;

namespace {

using Graph = std::map<std::string, std::vector<std::string>>;

Model joined(std::string name, std::vector<std::string> targets) {
    Model m = table(std::move(name));
    for (auto& t : targets) m.relationships.push_back(on_column(std::move(t), "id"));
    return m;
}

}  // namespace

TEST(Bundle, JoinGraph) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Model>> models;
        Graph expected;
    };
    const Case cases[] = {
        {"no relationships: one empty list per table",
         {{"a.yml", table("users")}, {"b.yml", table("orders")}},
         {{"orders", {}}, {"users", {}}}},
        {"both directions declared",
         {{"a.yml", joined("A", {"B"})}, {"b.yml", joined("B", {"A"})}},
         {{"A", {"B"}}, {"B", {"A"}}}},
        {"repeated relationship counted once",
         {{"a.yml", joined("A", {"B", "B"})}, {"b.yml", table("B")}},
         {{"A", {"B"}}, {"B", {"A"}}}},
        {"neighbours sorted byte-wise",
         {{"c.yml", joined("c", {"z"})}, {"a.yml", joined("a", {"z"})}, {"b.yml", joined("b", {"z"})},
          {"z.yml", joined("z", {"B", "_"})}},
         {{"B", {"z"}}, {"_", {"z"}}, {"a", {"z"}}, {"b", {"z"}}, {"c", {"z"}}, {"z", {"B", "_", "a", "b", "c"}}}},
        {"self relationship once; unknown target still listed",
         {{"a.yml", joined("emp", {"emp", "ghost", "emp"})}},
         {{"emp", {"emp", "ghost"}}, {"ghost", {"emp"}}}},
    };
    for (const auto& c : cases) EXPECT_EQ(compile(project(c.models)).join_graph, c.expected) << c.name;
}

TEST(Bundle, CopiesProjectAndLaterModelsReplaceEarlier) {
    Model first = table("orders");
    Model second = table("orders");
    second.context = "second";
    Project p = project({{"a.yml", table("users")}, {"b.yml", first}, {"c.yml", second}});
    p.manifest.project.description = "desc";
    Connection wh;
    wh.kind = ConnectionKind::Snowflake;
    wh.port = 443;
    p.manifest.connections["wh"] = wh;

    Bundle b = compile(p);
    EXPECT_EQ(b.bundle_version, 1u);
    EXPECT_EQ(b.spec_version, 1u);
    EXPECT_EQ(b.tool_version, "0.1.0");
    EXPECT_FALSE(b.generated_at_epoch);
    ASSERT_EQ(b.tables.size(), 2u);
    EXPECT_EQ(b.tables.begin()->first, "orders");
    EXPECT_EQ(b.tables.at("orders").context, OptText("second"));
    EXPECT_EQ(b.project.description, OptText("desc"));
    ASSERT_EQ(b.connections.count("wh"), 1u);
    EXPECT_EQ(b.connections.at("wh").port, 443);
}

TEST(Bundle, JsonForm) {
    Model users = table("users");
    users.relationships.push_back(on_column("orders", "id", Cardinality::OneToMany));
    Project p = project({{"a.yml", users}});
    std::string text = json::write(to_json(compile(p)));
    const std::string user_model =
        R"({"columns":[{"classification":"internal","deprecated":null,"description":null,"name":"id",)"
        R"("primary_key":false,"synonyms":[],"time_dimension":false,"type":"int64"}],"context":null,)"
        R"("metrics":[],"relationships":[{"columns":null,"on":"id","to":"orders","type":"one_to_many"}],)"
        R"("source":{"connection":null,"format":"parquet","location":"data/users.parquet","relation":null,)"
        R"("schema":null},"table":{"deprecation":null,"description":null,"grain":null,"name":"users",)"
        R"("owner":null,"status":"experimental","tags":[]},"version":1,"views":[]})";
    EXPECT_EQ(text, R"({"bundle_version":1,"connections":{},"generated_at_epoch":null,)"
                    R"("join_graph":{"orders":["users"],"users":["orders"]},)"
                    R"("project":{"description":null,"name":"shop","owner":null},"spec_version":1,)"
                    R"("tables":{"users":)" + user_model + R"(},"tool_version":"0.1.0"})");

    Connection c;
    c.kind = ConnectionKind::Duckdb;
    c.dsn_env = "DSN";
    c.port = 5432;
    p.manifest.connections["local"] = c;
    auto v = to_json(compile(p));
    EXPECT_EQ(json::write(*v.find("connections")),
              R"({"local":{"database":null,"dsn_env":"DSN","host":null,"kind":"duckdb","port":5432}})");
}
