// pexo-sample-archive: writes an LHA archive with a sample image, for trying Pexo by hand.
#include "core/app/Version.h"
#include "devsim/SampleArchive.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>
#include <fstream>

int main(int argc, char** argv) {
    std::string output;
    std::size_t size = 0x200000;
    std::string member = "SAMPLE.BIN";
    std::string imageOut;
    CLI::App app{"Writes an LHA archive (-lh0-) holding a sample memory image.",
                 "pexo-sample-archive"};
    app.add_option("ARCHIVE", output, "the .lzh file to write")->required();
    app.add_option("--size", size, "image length in bytes (default 2 MiB: the default write range)")
        ->check(CLI::Range(std::size_t{1}, std::size_t{16} << 20));
    app.add_option("--member", member, "the image's name inside the archive");
    app.add_option("--image-out", imageOut, "also write the bare image to this file");
    app.set_version_flag("-V,--version", "pexo-sample-archive " + std::string(pexo::pexoVersion()),
                         "show the version and exit");
    CLI11_PARSE(app, argc, argv);

    const auto image = pexo::devsim::sampleImage(size);
    const auto archive = pexo::devsim::storedLhaArchive(
        member, image, static_cast<std::uint32_t>(std::time(nullptr)));
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(archive.data()),
              static_cast<std::streamsize>(archive.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "pexo-sample-archive: cannot write %s\n", output.c_str());
        return 1;
    }
    if (!imageOut.empty()) {
        std::ofstream bare(imageOut, std::ios::binary | std::ios::trunc);
        bare.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        bare.close();
        if (!bare) {
            std::fprintf(stderr, "pexo-sample-archive: cannot write %s\n", imageOut.c_str());
            return 1;
        }
    }
    std::printf("%s: %zu-byte image %s\n", output.c_str(), size, member.c_str());
    return 0;
}
