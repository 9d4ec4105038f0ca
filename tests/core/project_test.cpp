#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "core/project.h"
#include "temp_dir.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

std::string model_yaml(std::string_view table) {
    return "version: 1\nsource: {format: parquet, location: x}\ntable:\n  name: " + std::string(table) + "\n";
}

std::string manifest_yaml(std::string_view models) {
    return "korvel: 1\nproject: {name: shop}\nmodels: " + std::string(models) + "\n";
}

std::string load_error(std::string_view path) {
    auto p = Project::load(path);
    return p.ok() ? std::string("<loaded>") : p.error().text();
}

std::vector<std::string> stored_paths(const Project& p) {
    std::vector<std::string> out;
    for (const auto& [path, model] : p.models) out.push_back(path.string());
    return out;
}

using Paths = std::vector<std::string>;

TEST(ProjectLoad, DirectoryOrManifestPathLoadsTheProject) {
    testing::TempDir dir;
    dir.write("semantic.yml", manifest_yaml("[\"models/*.yml\"]") +
                                  "connections:\n  wh: {kind: duckdb}\n");
    dir.write("models/orders.yml", model_yaml("orders"));
    dir.write("models/customers.yml", model_yaml("customers"));

    for (const fs::path& path : {dir.path(), dir.path() / "semantic.yml"}) {
        auto p = Project::load(path.string());
        ASSERT_TRUE(p.ok()) << p.error().text();
        EXPECT_EQ(p->root, dir.path());
        EXPECT_EQ(p->manifest.project.name, "shop");
        EXPECT_EQ(p->manifest.connections.size(), 1u);
        EXPECT_EQ(stored_paths(*p), (Paths{"models/customers.yml", "models/orders.yml"}));
        ASSERT_NE(p->find_model("orders"), nullptr);
        EXPECT_EQ(p->find_model("orders")->table.name, "orders");
        EXPECT_EQ(p->find_model("Orders"), nullptr);
        EXPECT_EQ(p->find_model("orders "), nullptr);
    }

    // A manifest under another name is loaded from its own path, its directory as root.
    dir.write("sub/project.yaml", manifest_yaml("[\"../models/orders.yml\", \"m/*.yml\"]"));
    dir.write("sub/m/local.yml", model_yaml("local"));
    auto other = Project::load((dir.path() / "sub/project.yaml").string());
    ASSERT_TRUE(other.ok()) << other.error().text();
    EXPECT_EQ(other->root, dir.path() / "sub");
    EXPECT_EQ(stored_paths(*other), (Paths{"../models/orders.yml", "m/local.yml"}));
}

TEST(ProjectLoad, RelativePathsAndStoredPaths) {
    testing::TempDir dir;
    dir.write("semantic.yml", manifest_yaml("[\"models/*.yml\"]"));
    dir.write("models/a.yml", model_yaml("a"));
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    auto bare = Project::load("semantic.yml");
    auto dot = Project::load(".");
    auto broken = Project::load("models/../nothing");
    EXPECT_EQ(chdir(cwd), 0);
    free(cwd);

    ASSERT_TRUE(bare.ok()) << bare.error().text();
    EXPECT_EQ(bare->root, fs::path());
    EXPECT_EQ(stored_paths(*bare), (Paths{"models/a.yml"}));
    ASSERT_TRUE(dot.ok()) << dot.error().text();
    EXPECT_EQ(dot->root, fs::path("."));
    EXPECT_EQ(stored_paths(*dot), (Paths{"models/a.yml"}));
    EXPECT_EQ(broken.error().text(), "manifest not found at models/../nothing");
}

TEST(ProjectLoad, EveryLoadErrorForm) {
    testing::TempDir dir;
    const fs::path root = dir.path();
    const std::string r = root.string();
    struct Case {
        const char* name;
        std::string manifest;
        std::vector<std::pair<std::string, std::string>> files;
        std::string error;
    };
    const Case cases[] = {
        {"unsupported version", "korvel: 2\nproject: {name: p}\nmodels: []\n", {},
         "unsupported spec version 2 (this build supports version 1)"},
        {"empty manifest", "", {}, "failed to parse " + r + "/semantic.yml: missing field `korvel`"},
        {"manifest project without value", "korvel: 1\nproject:\nmodels: []\n", {},
         "failed to parse " + r + "/semantic.yml: project: missing field `name` at line 2 column 9"},
        {"manifest with invalid UTF-8", "korvel: 1\nproject: {name: \xff}\nmodels: []\n", {},
         "failed to read " + r + "/semantic.yml: stream did not contain valid UTF-8"},
        {"unclosed class", manifest_yaml("[\"models/*.yml\", \"models/[a-\"]"), {{"models/a.yml", model_yaml("a")}},
         "bad model glob `models/[a-`: Pattern syntax error near position " + std::to_string(r.size() + 8) +
             ": invalid range pattern"},
        {"pattern matching a directory", manifest_yaml("[\"models/*\"]"), {{"models/sub/a.yml", model_yaml("a")}},
         "failed to read " + r + "/models/sub: Is a directory (os error 21)"},
        {"model with invalid UTF-8", manifest_yaml("[\"models/*.yml\"]"), {{"models/a.yml", "version: 1\xc0\n"}},
         "failed to read " + r + "/models/a.yml: stream did not contain valid UTF-8"},
        {"malformed model", manifest_yaml("[\"models/*.yml\"]"),
         {{"models/a.yml", "version: 1\nsource: {format: parquet}\ntable:\n  nam: a\n"}},
         "failed to parse " + r +
             "/models/a.yml: table: unknown field `nam`, expected one of `name`, `description`, `grain`, `owner`, "
             "`status`, `deprecation`, `tags` at line 4 column 3"},
        {"first failure in pattern order wins", manifest_yaml("[\"b/*.yml\", \"a/*.yml\"]"),
         {{"a/x.yml", "oops: 1\n"}, {"b/x.yml", "version: [\n"}},
         "failed to parse " + r + "/b/x.yml: did not find expected node content at line 2 column 1, "
                                  "while parsing a flow node at line 2 column 1"},
        {"a broken symbolic link", manifest_yaml("[\"models/*.yml\"]"), {},
         "failed to read " + r + "/models/gone.yml: No such file or directory (os error 2)"},
    };
    for (const auto& c : cases) {
        fs::remove_all(root);
        fs::create_directories(root);
        dir.write("semantic.yml", c.manifest);
        for (const auto& [file, content] : c.files) dir.write(file, content);
        if (std::string_view(c.name) == "a broken symbolic link") {
            fs::create_directories(root / "models");
            dir.symlink("missing-target", "models/gone.yml");
        }
        EXPECT_EQ(load_error(root.string()), c.error) << c.name;
    }
}

TEST(ProjectLoad, ManifestNotFound) {
    testing::TempDir dir;
    const std::string r = dir.path().string();
    dir.mkdir("empty");
    dir.mkdir("holder/semantic.yml");  // a directory, not a regular file
    dir.mkdir(std::string("bad\xff"));
    const std::pair<std::string, std::string> cases[] = {
        {r + "/empty", "manifest not found at " + r + "/empty/semantic.yml"},
        {r + "/empty/", "manifest not found at " + r + "/empty/semantic.yml"},
        {r + "/nothing", "manifest not found at " + r + "/nothing"},
        {r + "/holder", "manifest not found at " + r + "/holder/semantic.yml"},
        {r + "/bad\xff", "manifest not found at " + r + "/bad\xef\xbf\xbd/semantic.yml"},
        {"", "manifest not found at "},
    };
    for (const auto& [path, error] : cases) EXPECT_EQ(load_error(std::string_view(path)), error) << path;

    // A path cut short at a NUL byte would name another file.
    dir.write("real/semantic.yml", manifest_yaml("[]"));
    std::string with_nul = r + "/real" + std::string(1, '\0') + "x";
    EXPECT_EQ(load_error(std::string_view(with_nul)).rfind("manifest not found at " + r + "/real", 0), 0u);
    EXPECT_EQ(load_error(r + "/real"), "<loaded>");
}

TEST(ProjectLoad, SortsComponentWiseAndKeepsDuplicates) {
    testing::TempDir dir;
    dir.write("semantic.yml", manifest_yaml("[b.yml, \"a/*.yml\", a.yml, \"models/orders.yml\", \"models/*.yml\", "
                                            "\"nothing/*.yml\", missing.yml, \"\\xe9*.yml\"]"));
    dir.write("b.yml", model_yaml("b"));
    dir.write("a.yml", model_yaml("a"));
    dir.write("a/x.yml", model_yaml("x"));
    dir.write("models/orders.yml", model_yaml("orders_first"));
    dir.write("\xc3\xa9t\xc3\xa9.yml", model_yaml("summer"));
    auto p = Project::load(dir.path().string());
    ASSERT_TRUE(p.ok()) << p.error().text();
    EXPECT_EQ(stored_paths(*p), (Paths{"a/x.yml", "a.yml", "b.yml", "models/orders.yml", "models/orders.yml",
                                       "\xc3\xa9t\xc3\xa9.yml"}));
    EXPECT_EQ(p->find_model("summer"), &p->models.back().second);

    auto empty = Project::load((dir.write("e/semantic.yml", manifest_yaml("[]"))).string());
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->models.empty());
}

TEST(ProjectLoad, FindModelTakesTheFirstInPathOrder) {
    testing::TempDir dir;
    dir.write("semantic.yml", manifest_yaml("[\"*/t.yml\"]"));
    dir.write("b/t.yml", model_yaml("same"));
    dir.write("a/t.yml", model_yaml("same") + "  owner: first\n");
    auto p = Project::load(dir.path().string());
    ASSERT_TRUE(p.ok()) << p.error().text();
    ASSERT_NE(p->find_model("same"), nullptr);
    EXPECT_EQ(p->find_model("same")->table.owner, "first");
    EXPECT_EQ(p->find_model("missing"), nullptr);
}

TEST(ProjectLoad, UnreadableDirectoriesAreSkipped) {
    testing::TempDir dir;
    dir.write("semantic.yml", manifest_yaml("[\"*/*.yml\", \"loop/*.yml\", \"loop/**/*.yml\"]"));
    dir.write("models/a.yml", model_yaml("a"));
    dir.symlink("loop", "loop");  // cannot be listed
    auto p = Project::load(dir.path().string());
    ASSERT_TRUE(p.ok()) << p.error().text();
    EXPECT_EQ(stored_paths(*p), (Paths{"models/a.yml"}));
}

// The project folder's own name may hold pattern characters; only the
// patterns of the manifest are patterns.
TEST(ProjectLoad, RootWithPatternCharactersIsTakenLiterally) {
    testing::TempDir dir;
    const fs::path root = dir.path() / "reports [2024]*?";
    dir.write("reports [2024]*?/semantic.yml", manifest_yaml("[\"models/*.yml\", \"**/deep.yml\"]"));
    dir.write("reports [2024]*?/models/a.yml", model_yaml("a"));
    dir.write("reports [2024]*?/x/y/deep.yml", model_yaml("deep"));
    dir.write("reports 2*?/models/other.yml", model_yaml("other"));  // matched only if `[2024]` were a class
    auto p = Project::load(root.string());
    ASSERT_TRUE(p.ok()) << p.error().text();
    EXPECT_EQ(stored_paths(*p), (Paths{"models/a.yml", "x/y/deep.yml"}));

    dir.write("reports [2024]*?/semantic.yml", manifest_yaml("[\"models/[\"]"));
    std::size_t position = root.string().size() + 1 + 7;
    EXPECT_EQ(load_error(root.string()), "bad model glob `models/[`: Pattern syntax error near position " +
                                    std::to_string(position) + ": invalid range pattern");
}

}  // namespace
}  // namespace korvel
