#pragma once
// A registry store of its own for a test or a benchmark: TempRegistry points
// TOLVER_REGISTRY (inherited by child processes and the tools) at a fresh file in a
// temporary folder and puts the former setting back when it goes.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace tolver {

class TempRegistry {
public:
    TempRegistry() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tolver-reg-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        path_ = (dir_ / "registry.db").string();
        if (const char* old = std::getenv("TOLVER_REGISTRY")) old_ = old;
        ::setenv("TOLVER_REGISTRY", path_.c_str(), 1);
    }
    ~TempRegistry() {
        if (old_)
            ::setenv("TOLVER_REGISTRY", old_->c_str(), 1);
        else
            ::unsetenv("TOLVER_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& path() const { return path_; }
    // A folder that lives as long as the store, for files the test makes.
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::string path_;
    std::optional<std::string> old_;
};

}  // namespace tolver
