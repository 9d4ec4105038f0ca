#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/glob.h"
#include "temp_dir.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

TEST(GlobPattern, SyntaxErrorsNameReasonAndCharacterPosition) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/***", "Pattern syntax error near position 2: wildcards are either regular `*` or recursive `**`"},
        {"a/b****.yml", "Pattern syntax error near position 3: wildcards are either regular `*` or recursive `**`"},
        {"a**", "Pattern syntax error near position 1: recursive wildcards must form a single path component"},
        {"**a/b", "Pattern syntax error near position 0: recursive wildcards must form a single path component"},
        {"a/**b/c", "Pattern syntax error near position 2: recursive wildcards must form a single path component"},
        {"models/[a-", "Pattern syntax error near position 7: invalid range pattern"},
        {"x/[]", "Pattern syntax error near position 2: invalid range pattern"},
        {"x/[!]", "Pattern syntax error near position 2: invalid range pattern"},
        {"[z-a]", "Pattern syntax error near position 0: invalid range pattern"},
        {"[a/b]", "Pattern syntax error near position 0: invalid range pattern"},
        // Positions count characters, not bytes.
        {"\xc3\xa9t\xc3\xa9/[", "Pattern syntax error near position 4: invalid range pattern"},
    };
    for (const auto& [pattern, message] : cases) {
        auto p = GlobPattern::compile(pattern);
        ASSERT_FALSE(p.ok()) << pattern;
        EXPECT_EQ(p.error(), message) << pattern;
    }
    for (const char* ok : {"**", "a/**/b", "**/**/x", "[]]", "[!]]", "[a-]", "*", "?", "a/*/*.yml", "/abs/x"})
        EXPECT_TRUE(GlobPattern::compile(ok).ok()) << ok;

    // An offset shifts every position by the text in front of the pattern.
    EXPECT_EQ(GlobPattern::compile("[", 10).error(), "Pattern syntax error near position 10: invalid range pattern");
}

TEST(GlobPattern, ComponentMatching) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.yml", "orders.yml", true},
        {"*.yml", ".hidden.yml", true},
        {"*", ".git", true},
        {"*.yml", "orders.yaml", false},
        {"*.yml", "Orders.YML", false},
        {"orders.yml", "Orders.yml", false},
        {"?.yml", "a.yml", true},
        {"?.yml", "ab.yml", false},
        {"?.yml", "\xc3\xa9.yml", true},
        {"?.yml", "\xff.yml", true},
        {"[a-c]*", "b1", true},
        {"[a-c]*", "d1", false},
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "ax", false},
        {"[]]", "]", true},
        {"[!]]", "]", false},
        {"[a-]", "-", true},
        {"[*?]", "?", true},
        {"[*?]", "x", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "abcab", false},
        {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    };
    for (const auto& c : cases) {
        auto p = GlobPattern::compile(c.pattern);
        ASSERT_TRUE(p.ok()) << c.pattern;
        EXPECT_EQ(p->matches(0, c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}

std::vector<std::string> relative_matches(const fs::path& base, std::string_view pattern) {
    auto r = glob(base, pattern);
    EXPECT_TRUE(r.ok()) << pattern << ": " << (r.ok() ? "" : r.error());
    std::vector<std::string> out;
    if (!r.ok()) return out;
    for (const auto& m : *r) {
        std::string rel = m.path.lexically_relative(base).string();
        out.push_back(m.failed ? "FAILED " + rel : rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

using Paths = std::vector<std::string>;

class GlobTree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"models/a.yml", "models/.hidden.yml", "models/notes.txt", "models/sub/b.yml",
                              "models/sub/deep/c.yml", "models/.dot/e.yml", "other/d.yml"})
            dir.write(f, "x");
    }
    testing::TempDir dir;
};

TEST_F(GlobTree, WildcardsRecursionAndLiterals) {
    const fs::path& base = dir.path();
    EXPECT_EQ(relative_matches(base, "models/*.yml"), (Paths{"models/.hidden.yml", "models/a.yml"}));
    EXPECT_EQ(relative_matches(base, "models/**/*.yml"),
              (Paths{"models/.dot/e.yml", "models/.hidden.yml", "models/a.yml", "models/sub/b.yml",
                     "models/sub/deep/c.yml"}));
    EXPECT_EQ(relative_matches(base, "**/c.yml"), (Paths{"models/sub/deep/c.yml"}));
    EXPECT_EQ(relative_matches(base, "**/**/c.yml"), (Paths{"models/sub/deep/c.yml"}));
    EXPECT_EQ(relative_matches(base, "*/sub/*.yml"), (Paths{"models/sub/b.yml"}));
    EXPECT_EQ(relative_matches(base, "models/s?b"), (Paths{"models/sub"}));
    EXPECT_EQ(relative_matches(base, "models/[!.a-n]*"), (Paths{"models/sub"}));
    EXPECT_EQ(relative_matches(base, "models/a.yml"), (Paths{"models/a.yml"}));
    EXPECT_EQ(relative_matches(base, "models/missing.yml"), Paths{});
    EXPECT_EQ(relative_matches(base, "missing/*.yml"), Paths{});
    EXPECT_EQ(relative_matches(base, "models/a.yml/*"), Paths{});
    EXPECT_EQ(relative_matches(base, "MODELS/*.yml"), Paths{});

    // However many components a pattern has, expanding it takes no deeper stack.
    std::string long_pattern;
    for (int i = 0; i < 200000; ++i) long_pattern += "a/";
    EXPECT_EQ(relative_matches(base, long_pattern + "*.yml"), Paths{});
    EXPECT_EQ(relative_matches(base, long_pattern + "x.yml"), Paths{});

    // An absolute pattern stands alone.
    auto abs = glob("/nonexistent-base", (base / "other/*.yml").string());
    ASSERT_TRUE(abs.ok());
    ASSERT_EQ(abs->size(), 1u);
    EXPECT_EQ((*abs)[0].path, base / "other/d.yml");
}

TEST_F(GlobTree, SymlinkLoopsTerminateAndUnreadableDirectoriesAreReported) {
    dir.symlink("..", "models/sub/up");        // back to models: a loop
    dir.symlink("../other", "models/linked");  // a plain link to another directory
    dir.symlink("self", "models/self");        // a link to itself cannot be listed
    EXPECT_EQ(relative_matches(dir.path(), "models/**/*.yml"),
              (Paths{"models/.dot/e.yml", "models/.hidden.yml", "models/a.yml", "models/linked/d.yml",
                     "models/sub/b.yml", "models/sub/deep/c.yml"}));
    EXPECT_EQ(relative_matches(dir.path(), "models/self/*.yml"), (Paths{"FAILED models/self"}));
}

TEST(Glob, BaseIsLiteralButCountsInErrorPositions) {
    testing::TempDir dir;
    fs::path base = dir.path() / "reports [2024]" / "q?*";
    dir.write("reports [2024]/q?*/models/a.yml", "x");
    dir.write("reports 2/q?*/models/b.yml", "x");  // what `[2024]` would match as a class
    dir.write("reports [2024]/qx/models/c.yml", "x");

    EXPECT_EQ(relative_matches(base, "models/*.yml"), (Paths{"models/a.yml"}));

    auto bad = glob(base, "models/[a-");
    ASSERT_FALSE(bad.ok());
    std::size_t expected = base.string().size() + 1 + 7;  // ASCII base, its separator, then `models/`
    EXPECT_EQ(bad.error(), "Pattern syntax error near position " + std::to_string(expected) + ": invalid range pattern");

    // Characters, not bytes, and invalid bytes count as one replacement character each.
    auto odd = glob("\xc3\xa9\xff", "[");
    ASSERT_FALSE(odd.ok());
    EXPECT_EQ(odd.error(), "Pattern syntax error near position 3: invalid range pattern");
    EXPECT_EQ(glob("", "[").error(), "Pattern syntax error near position 0: invalid range pattern");
    EXPECT_EQ(glob("/", "[").error(), "Pattern syntax error near position 1: invalid range pattern");
}

}  // namespace
}  // namespace korvel
