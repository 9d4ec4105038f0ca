// A loaded project: the manifest, its directory and the selected model files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/result.h"
#include "core/types.h"

namespace korvel {

struct LoadError {
    enum class Kind { Read, Parse, Glob, ManifestNotFound, UnsupportedVersion };
    Kind kind;
    std::string path;       // Read, Parse, ManifestNotFound: the path as text
    std::string pattern;    // Glob: the pattern as written in the manifest
    std::string message;    // Read: the I/O error; Parse: the reader's error; Glob: the matcher's error
    std::uint32_t found = 0;  // UnsupportedVersion

    // The message that reaches Python unchanged.
    std::string text() const;
};

struct Project {
    std::filesystem::path root;
    Manifest manifest;
    // (stored path, model), sorted component-wise by stored path.
    std::vector<std::pair<std::filesystem::path, Model>> models;

    static Result<Project, LoadError> load(std::string_view path);

    // The first model, in project order, whose table name equals `table`.
    const Model* find_model(std::string_view table) const;
};

}  // namespace korvel
