#pragma once

// What the end-to-end tests share: the programs, a scratch folder with an archive and an
// empty settings file, and the options of a quick download.
#include "devsim/SampleArchive.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>
#include <vector>

namespace pexo::test {

using namespace std::chrono_literals;

inline constexpr auto kDeadline = 120s; // only a hung program gets near it
inline const std::string kCli = PEXO_BIN_DIR "/pexo-cli";
inline const std::string kDevsim = PEXO_BIN_DIR "/pexo-devsim";

// A folder with the archive and an empty settings file (the built-in settings).
class Workspace {
public:
    Workspace() {
        char pattern[] = "/tmp/pexo-e2e-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        std::ofstream touch(settings());
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string settings() const { return folder_ + "/settings.ini"; }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::string archive(const std::vector<std::uint8_t>& image, const std::string& name) {
        const auto bytes = devsim::storedLhaArchive("IMAGE.BIN", image, 0);
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }

private:
    std::string folder_;
};

inline std::vector<std::string> cliArgs(const Workspace& ws, std::vector<std::string> extra) {
    std::vector<std::string> args{"--settings", ws.settings(), "--tx-wait", "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// A quick run: four 1 KiB blocks from address 0, short time-outs for the silent cases.
inline std::vector<std::string> smallRun() {
    return {"--erase-first",   "0",   "--erase-sectors",    "4",   "--write-first",    "0",
            "--write-last",    "FFF", "--timeout-write",    "300", "--timeout-sector", "300",
            "--timeout-erase", "300", "--timeout-checksum", "300"};
}

} // namespace pexo::test
