#include "gui/app/InformationRequest.h"

#include "core/app/Version.h"
#include "core/settings/SettingsLocation.h"

#include <string_view>

namespace pexo::gui {
namespace {

constexpr char kHelp[] =
    "Usage: pexo [OPTION]... [ARCHIVE]\n"
    "The desktop program of Pexo: writes the memory image in an LHA archive (.lzh) into a\n"
    "device over a serial (RS232C) line. Given an ARCHIVE, it unpacks it and starts a\n"
    "download at once.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and the settings file in force, and exit\n"
    "\n"
    "Qt's own options are taken as well, among them -platform NAME and -style NAME.\n";

} // namespace

std::optional<std::string> informationRequest(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help")
            return std::string(kHelp);
        if (argument == "-V" || argument == "--version") {
            std::string text = "pexo " + std::string(pexoVersion()) + "\n";
            if (const auto files = settingsFiles())
                text += files->describe() + "\n";
            return text;
        }
    }
    return std::nullopt;
}

} // namespace pexo::gui
