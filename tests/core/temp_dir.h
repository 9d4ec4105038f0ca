// A temporary directory for file-system tests, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel::testing {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "korvel-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `content` to `relative`, creating the directories on the way.
    std::filesystem::path write(const std::filesystem::path& relative, std::string_view content) const {
        auto full = path_ / relative;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }
    std::filesystem::path mkdir(const std::filesystem::path& relative) const {
        auto full = path_ / relative;
        std::filesystem::create_directories(full);
        return full;
    }
    void symlink(const std::filesystem::path& target, const std::filesystem::path& relative) const {
        std::filesystem::create_symlink(target, path_ / relative);
    }

private:
    std::filesystem::path path_;
};

}  // namespace korvel::testing
