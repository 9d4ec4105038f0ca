// Glob patterns over the file system: `?`, `*`, `[...]` classes (with `!`
// and ranges) within one path component, and `**` as a whole component for
// any number of nested directories. Matching is case-sensitive and wildcards
// match names that begin with a dot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace korvel {

struct GlobMatch {
    std::filesystem::path path;
    // A directory that could not be read while matching.
    bool failed = false;
};

class GlobPattern {
public:
    // Error positions count characters from the start of the text the pattern
    // was joined into; `offset` is the number of characters in front of it.
    // The error text is "Pattern syntax error near position {}: {}".
    static Result<GlobPattern, std::string> compile(std::string_view pattern, std::size_t offset = 0);

    // Every match below `base`, which is taken literally (its own `*`, `[`
    // or `?` are plain characters); an absolute pattern ignores `base`.
    // Symbolic links to directories are followed, except into a directory
    // that is already among the ones being walked.
    std::vector<GlobMatch> expand(const std::filesystem::path& base) const;

    // Whether one file name matches component `index` (not `**`).
    bool matches(std::size_t index, std::string_view name) const;

    struct Token {
        enum class Kind { Char, AnyChar, AnyRun, Class } kind;
        char32_t ch = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };
    struct Component {
        enum class Kind { Literal, Wild, Recursive } kind;
        std::string literal;  // the component's bytes, for Literal
        std::vector<Token> tokens;
    };

private:
    void expand_from(std::size_t index, const std::filesystem::path& dir, bool known_to_exist,
                     std::vector<GlobMatch>& out) const;
    void walk_recursive(std::size_t index, const std::filesystem::path& dir,
                        std::vector<std::pair<std::uint64_t, std::uint64_t>>& chain,
                        std::vector<GlobMatch>& out) const;

    bool absolute_ = false;
    std::vector<Component> components_;
};

// Matches `pattern` joined below `base`: error positions count from the start
// of the joined text (the characters of `base` and its separator included),
// while `base` itself is never read as a pattern.
Result<std::vector<GlobMatch>, std::string> glob(const std::filesystem::path& base, std::string_view pattern);

}  // namespace korvel
