#pragma once

// Helpers shared by the archiver module's and the image loading's tests: the LHA fixtures,
// a private scratch folder, file contents.

#include "support/ScratchFolder.h"

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

} // namespace pexo::test
