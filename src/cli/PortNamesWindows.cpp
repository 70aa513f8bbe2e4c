#include "cli/PortNames.h"

#include <cctype>

namespace pexo::cli {
namespace {

// Windows numbers COM ports from 1 to 255.
std::optional<int> comNumber(std::string_view text) {
    if (text.size() < 4 || text.size() > 6)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i])
            return std::nullopt;
    int n = 0;
    for (const char c : text.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (text[3] == '0' || n < 1 || n > 255)
        return std::nullopt;
    return n;
}

} // namespace

std::string comDevicePath(int number, const PortDevices&) {
    return "\\\\.\\COM" + std::to_string(number);
}

std::optional<NamedPort> otherPort(const std::string& name) {
    std::string_view text = name;
    if (text.starts_with("\\\\.\\"))
        text.remove_prefix(4);
    const std::optional<int> n = comNumber(text);
    if (!n)
        return std::nullopt;
    return NamedPort{"COM" + std::to_string(*n), comDevicePath(*n, PortDevices{}), *n};
}

const char* portNameRule() {
    return "is not a COM port (COM1 to COM255, or \\\\.\\COMn).";
}

} // namespace pexo::cli
