#pragma once

#include "core/app/Paths.h"
#include "support/ScratchFolder.h"
#include "core/settings/SettingsLocation.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace pexo {

using test::ScratchFolder;

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// A program folder of its own, found through the path seam as the running program's.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string exe = (root_ / "pexo").string();
        saved_ = setPathEnvironment(PathEnvironment{[exe] { return exe; }, [] { return ""; }});
        // The user's folder is ours too; "writable" is what the test says, as root ignores modes.
        savedSettings_ = setSettingsEnvironment(SettingsEnvironment{
            [this] { return configFolder_; },
            [this](const std::string& path) {
                return programWritable_ && systemSettingsEnvironment().writable(path);
            }});
    }
    void TearDown() override {
        setPathEnvironment(saved_);
        setSettingsEnvironment(savedSettings_);
    }
    fs::path iniFolder() {
        fs::create_directories(root_ / "INI");
        return root_ / "INI";
    }
    fs::path iniFile() { return root_ / "INI" / "PexoUDef.INI"; }
    std::size_t filesIn(const fs::path& dir) {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }

    fs::path userFile() { return userSettingsFile((root_ / "config").string()); }

    ScratchFolder scratch_{"pexo-settings"};
    const fs::path root_ = scratch_.path();
    PathEnvironment saved_;
    SettingsEnvironment savedSettings_;
    std::string configFolder_;
    bool programWritable_ = true;
};

} // namespace pexo
