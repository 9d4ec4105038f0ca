#include "core/glob.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include <fmt/format.h>

#include "core/text.h"

namespace korvel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTooManyStars = "wildcards are either regular `*` or recursive `**`";
constexpr std::string_view kRecursiveAlone = "recursive wildcards must form a single path component";
constexpr std::string_view kInvalidRange = "invalid range pattern";

std::string syntax_error(std::size_t position, std::string_view reason) {
    return fmt::format("Pattern syntax error near position {}: {}", position, reason);
}

std::size_t char_count(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < text.size(); ++n) next_code_point(text, pos);
    return n;
}

// The name to hand to the system for a path that may be empty (the current directory).
const char* os_name(const fs::path& p) { return p.empty() ? "." : p.c_str(); }

enum class Listing { Ok, Missing, Failed };

Listing list_dir(const fs::path& dir, std::vector<std::string>& names) {
    DIR* d = opendir(os_name(dir));
    // A path that is too long cannot exist; anything else is a directory we cannot read.
    if (!d) return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ? Listing::Missing : Listing::Failed;
    errno = 0;
    while (dirent* e = readdir(d)) {
        std::string_view name = e->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    bool failed = errno != 0;
    closedir(d);
    std::sort(names.begin(), names.end());
    return failed ? Listing::Failed : Listing::Ok;
}

bool is_dir(const fs::path& p, struct stat* st = nullptr) {
    struct stat local;
    struct stat* s = st ? st : &local;
    return stat(os_name(p), s) == 0 && S_ISDIR(s->st_mode);
}

bool exists_entry(const fs::path& p) {
    struct stat st;
    return lstat(os_name(p), &st) == 0;
}

bool token_matches(const GlobPattern::Token& t, char32_t c) {
    using Kind = GlobPattern::Token::Kind;
    switch (t.kind) {
        case Kind::Char: return t.ch == c;
        case Kind::AnyChar: return true;
        case Kind::Class: {
            bool in = false;
            for (auto [lo, hi] : t.ranges) in = in || (c >= lo && c <= hi);
            return in != t.negated;
        }
        case Kind::AnyRun: return true;
    }
    return false;
}

GlobPattern::Token token(GlobPattern::Token::Kind kind, char32_t ch = 0) {
    GlobPattern::Token t;
    t.kind = kind;
    t.ch = ch;
    return t;
}

}  // namespace

Result<GlobPattern, std::string> GlobPattern::compile(std::string_view pattern, std::size_t offset) {
    GlobPattern out;
    Component current{Component::Kind::Literal, {}, {}};
    bool recursive = false;
    auto finish = [&] {
        if (recursive) {
            // Consecutive `**` components mean the same as one.
            if (out.components_.empty() || out.components_.back().kind != Component::Kind::Recursive)
                out.components_.push_back({Component::Kind::Recursive, {}, {}});
        } else if (!current.literal.empty()) {
            out.components_.push_back(std::move(current));
        }
        current = {Component::Kind::Literal, {}, {}};
        recursive = false;
    };

    std::size_t pos = 0;   // byte index
    std::size_t chars = 0;  // characters read so far
    if (!pattern.empty() && pattern[0] == '/') out.absolute_ = true;
    while (pos < pattern.size()) {
        const std::size_t start = pos;
        const std::size_t at = offset + chars;
        char32_t c = next_code_point(pattern, pos);
        ++chars;
        if (c == '/') {
            finish();
        } else if (c == '*') {
            std::size_t run = 1;
            while (pos < pattern.size() && pattern[pos] == '*') ++pos, ++chars, ++run;
            if (run > 2) return fail(syntax_error(at, kTooManyStars));
            if (run == 2) {
                bool alone = current.literal.empty() && (pos == pattern.size() || pattern[pos] == '/');
                if (!alone) return fail(syntax_error(at, kRecursiveAlone));
                recursive = true;
                current.literal = "**";
            } else {
                current.kind = Component::Kind::Wild;
                current.tokens.push_back(token(Token::Kind::AnyRun));
                current.literal += '*';
            }
        } else if (c == '?') {
            current.kind = Component::Kind::Wild;
            current.tokens.push_back(token(Token::Kind::AnyChar));
            current.literal += '?';
        } else if (c == '[') {
            // `[` [`!`] item... `]`, where a `]` first in the class is literal
            // and a class never reaches past its own path component.
            Token t = token(Token::Kind::Class);
            std::size_t p = pos, n = chars;
            if (p < pattern.size() && pattern[p] == '!') t.negated = true, ++p, ++n;
            bool first = true, closed = false;
            while (p < pattern.size() && pattern[p] != '/') {
                char32_t lo = next_code_point(pattern, p);
                ++n;
                if (lo == ']' && !first) {
                    closed = true;
                    break;
                }
                first = false;
                char32_t hi = lo;
                if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']' && pattern[p + 1] != '/') {
                    ++p, ++n;
                    hi = next_code_point(pattern, p);
                    ++n;
                    if (hi < lo) return fail(syntax_error(at, kInvalidRange));
                }
                t.ranges.emplace_back(lo, hi);
            }
            if (!closed) return fail(syntax_error(at, kInvalidRange));
            current.kind = Component::Kind::Wild;
            current.tokens.push_back(std::move(t));
            current.literal.append(pattern.substr(start, p - start));
            pos = p;
            chars = n;
        } else {
            current.tokens.push_back(token(Token::Kind::Char, c));
            current.literal.append(pattern.substr(start, pos - start));
        }
    }
    finish();
    return out;
}

bool GlobPattern::matches(std::size_t index, std::string_view name) const {
    const auto& tokens = components_.at(index).tokens;
    std::vector<char32_t> text;
    for (std::size_t pos = 0; pos < name.size();) text.push_back(next_code_point(name, pos));
    // Greedy matching that backs up to the last `*`: linear in practice,
    // never exponential.
    std::size_t t = 0, i = 0, star = tokens.size(), resume = 0;
    while (i < text.size()) {
        if (t < tokens.size() && tokens[t].kind == Token::Kind::AnyRun) {
            star = t++;
            resume = i;
        } else if (t < tokens.size() && token_matches(tokens[t], text[i])) {
            ++t, ++i;
        } else if (star != tokens.size()) {
            t = star + 1;
            i = ++resume;
        } else {
            return false;
        }
    }
    while (t < tokens.size() && tokens[t].kind == Token::Kind::AnyRun) ++t;
    return t == tokens.size();
}

std::vector<GlobMatch> GlobPattern::expand(const fs::path& base) const {
    std::vector<GlobMatch> out;
    expand_from(0, absolute_ ? fs::path("/") : base, false, out);
    return out;
}

void GlobPattern::expand_from(std::size_t index, const fs::path& start, bool known_to_exist,
                              std::vector<GlobMatch>& out) const {
    // Literal components are joined in a loop, not by recursion: a pattern may
    // hold any number of them, while wildcards only recurse into directories
    // that exist, so the depth stays that of the file system.
    std::string joined = start.native();
    for (; index < components_.size() && components_[index].kind == Component::Kind::Literal; ++index) {
        if (!joined.empty() && joined.back() != '/') joined += '/';
        joined += components_[index].literal;
        known_to_exist = false;
    }
    const fs::path dir = std::move(joined);
    if (index == components_.size()) {
        if (known_to_exist || exists_entry(dir)) out.push_back({dir});
        return;
    }
    const Component& c = components_[index];
    switch (c.kind) {
        case Component::Kind::Literal:
            return;
        case Component::Kind::Wild: {
            std::vector<std::string> names;
            Listing l = list_dir(dir, names);
            if (l == Listing::Missing) return;
            if (l == Listing::Failed) {
                out.push_back({dir, true});
                return;
            }
            const bool last = index + 1 == components_.size();
            for (const auto& name : names) {
                if (!matches(index, name)) continue;
                fs::path child = dir / name;
                if (last)
                    out.push_back({child});
                else if (is_dir(child))
                    expand_from(index + 1, child, true, out);
            }
            return;
        }
        case Component::Kind::Recursive: {
            struct stat st;
            if (!is_dir(dir, &st)) return;
            std::vector<std::pair<std::uint64_t, std::uint64_t>> chain{{st.st_dev, st.st_ino}};
            walk_recursive(index, dir, chain, out);
            return;
        }
    }
}

// `dir` is an existing directory whose identity ends `chain`, the directories
// from where `**` started down to here. A symbolic link back into the chain
// would repeat the walk forever, so it is not entered.
void GlobPattern::walk_recursive(std::size_t index, const fs::path& dir,
                                 std::vector<std::pair<std::uint64_t, std::uint64_t>>& chain,
                                 std::vector<GlobMatch>& out) const {
    expand_from(index + 1, dir, true, out);
    std::vector<std::string> names;
    Listing l = list_dir(dir, names);
    if (l == Listing::Missing) return;
    if (l == Listing::Failed) {
        out.push_back({dir, true});
        return;
    }
    for (const auto& name : names) {
        fs::path child = dir / name;
        struct stat st;
        if (!is_dir(child, &st)) continue;
        std::pair<std::uint64_t, std::uint64_t> id{st.st_dev, st.st_ino};
        if (std::find(chain.begin(), chain.end(), id) != chain.end()) continue;
        chain.push_back(id);
        walk_recursive(index, child, chain, out);
        chain.pop_back();
    }
}

Result<std::vector<GlobMatch>, std::string> glob(const fs::path& base, std::string_view pattern) {
    std::size_t offset = 0;
    if (!pattern.empty() && pattern[0] != '/' && !base.empty()) {
        std::string base_text = path_text(base);
        offset = char_count(base_text) + (base_text.back() == '/' ? 0 : 1);
    }
    auto compiled = GlobPattern::compile(pattern, offset);
    if (!compiled) return fail(std::move(compiled.error()));
    return compiled->expand(base);
}

}  // namespace korvel
