#pragma once

// Helpers shared by the archiver module's and the image loading's tests: the LHA fixtures,
// a private scratch folder, file contents.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pexo::test {

inline std::string lhaFixture(const std::string& name) {
    return std::string(PEXO_TEST_SOURCE_DIR) + "/fixtures/lha/" + name;
}

inline std::string lhaCorpusFolder() {
    return std::string(PEXO_SHARED_DIR) + "/testdata/lha-corpus/";
}

inline std::string archiverModulePath() {
    return std::string(PEXO_BIN_DIR) + "/DLL/UNLHA32.DLL";
}

inline std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFileBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    // As mkdtemp makes it (a new folder, the user's alone), also where there is no mkdtemp.
    ScratchFolder() {
        const auto base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "pexo-test-%08x", static_cast<unsigned>(random()));
            if (std::filesystem::create_directory(base / name))
                path_ = base / name;
        }
        if (path_.empty())
            throw std::runtime_error("cannot make a scratch folder");
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

    // Every entry below the folder, as '/'-separated paths relative to it, sorted.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_))
            names.push_back(std::filesystem::relative(entry.path(), path_).generic_string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

} // namespace pexo::test
