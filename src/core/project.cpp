#include "core/project.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fmt/format.h>

#include "core/glob.h"
#include "core/text.h"
#include "core/yaml.h"

namespace korvel {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kSupportedVersion = 1;

std::string os_error(int code) {
    return fmt::format("{} (os error {})", std::system_category().message(code), code);
}

// The whole file as UTF-8 text, or the text of what went wrong.
Result<std::string, std::string> read_text_file(const fs::path& path) {
    // Non-blocking, so a named pipe matched by a pattern cannot stall the load.
    int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fail(os_error(errno));
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        close(fd);
        return fail(os_error(e));
    }
    // Directories fail in read() with the system's own error; devices and
    // pipes could deliver endless or no data, so they are refused outright.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        close(fd);
        return fail(std::string("not a regular file"));
    }
    std::string text;
    if (st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            close(fd);
            return fail(os_error(e));
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    if (!is_valid_utf8(text)) return fail(std::string("stream did not contain valid UTF-8"));
    return text;
}

// Path components: "/" for an absolute path, then the names between
// separators (empty names from repeated or trailing separators dropped).
std::vector<std::string_view> components(const fs::path& p) {
    std::string_view s = p.native();
    std::vector<std::string_view> out;
    if (!s.empty() && s[0] == '/') out.emplace_back("/");
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t end = s.find('/', pos);
        if (end == std::string_view::npos) end = s.size();
        if (end > pos) out.push_back(s.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

// The match path without the leading components of `root`, when it has them.
fs::path stored_path(const fs::path& root, const fs::path& match) {
    auto r = components(root);
    auto m = components(match);
    if (r.empty() || m.size() <= r.size() || !std::equal(r.begin(), r.end(), m.begin())) return match;
    fs::path out;
    for (std::size_t i = r.size(); i < m.size(); ++i) out /= fs::path(std::string(m[i]));
    return out;
}

LoadError error(LoadError::Kind kind, const fs::path& path, std::string message = {}) {
    LoadError e{kind, path_text(path), {}, std::move(message)};
    return e;
}

}  // namespace

std::string LoadError::text() const {
    switch (kind) {
        case Kind::Read: return fmt::format("failed to read {}: {}", path, message);
        case Kind::Parse: return fmt::format("failed to parse {}: {}", path, message);
        case Kind::Glob: return fmt::format("bad model glob `{}`: {}", pattern, message);
        case Kind::ManifestNotFound: return fmt::format("manifest not found at {}", path);
        case Kind::UnsupportedVersion:
            return fmt::format("unsupported spec version {} (this build supports version {})", found,
                               kSupportedVersion);
    }
    return message;
}

Result<Project, LoadError> Project::load(std::string_view path) {
    const fs::path given{std::string(path)};
    // A path with a NUL byte names no file; the system would silently cut it short.
    const bool nameable = path.find('\0') == std::string_view::npos;

    struct stat st;
    fs::path manifest_path = given;
    if (nameable && stat(given.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        manifest_path = given / "semantic.yml";
    if (!nameable || stat(manifest_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(error(LoadError::Kind::ManifestNotFound, manifest_path));

    Project project;
    project.root = manifest_path.parent_path();

    auto text = read_text_file(manifest_path);
    if (!text) return fail(error(LoadError::Kind::Read, manifest_path, std::move(text.error())));
    auto manifest = read_manifest(*text);
    if (!manifest) return fail(error(LoadError::Kind::Parse, manifest_path, std::move(manifest.error())));
    project.manifest = std::move(*manifest);
    if (project.manifest.korvel != kSupportedVersion) {
        LoadError e{LoadError::Kind::UnsupportedVersion, {}, {}, {}, project.manifest.korvel};
        return fail(std::move(e));
    }

    for (const auto& pattern : project.manifest.models) {
        auto matches = glob(project.root, pattern);
        if (!matches) {
            LoadError e{LoadError::Kind::Glob, {}, pattern, std::move(matches.error())};
            return fail(std::move(e));
        }
        for (const auto& match : *matches) {
            // A directory the matcher could not read holds nothing we can load.
            if (match.failed) continue;
            auto model_text = read_text_file(match.path);
            if (!model_text) return fail(error(LoadError::Kind::Read, match.path, std::move(model_text.error())));
            auto model = read_model(*model_text);
            if (!model) return fail(error(LoadError::Kind::Parse, match.path, std::move(model.error())));
            project.models.emplace_back(stored_path(project.root, match.path), std::move(*model));
        }
    }

    std::stable_sort(project.models.begin(), project.models.end(), [](const auto& a, const auto& b) {
        auto ca = components(a.first), cb = components(b.first);
        return std::lexicographical_compare(ca.begin(), ca.end(), cb.begin(), cb.end());
    });
    return project;
}

const Model* Project::find_model(std::string_view table) const {
    for (const auto& [path, model] : models)
        if (model.table.name == table) return &model;
    return nullptr;
}

}  // namespace korvel
