#include "core/serial/PortDescription.h"

#include <cctype>
#include <filesystem>
#include <string_view>
#include <vector>

namespace pexo {
namespace {

namespace fs = std::filesystem;

std::string lastPart(const std::string& path) {
    return fs::path(path).filename().string();
}

} // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            // Without leading zeros, the longer run is the larger number.
            std::string_view da(a.data() + i, ei - i);
            std::string_view db(b.data() + j, ej - j);
            while (da.size() > 1 && da.front() == '0')
                da.remove_prefix(1);
            while (db.size() > 1 && db.front() == '0')
                db.remove_prefix(1);
            if (da.size() != db.size())
                return da.size() < db.size();
            if (const int c = da.compare(db); c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string PortDescription::identity() const {
    std::vector<std::string> parts;
    if (usb) {
        std::string who = usb->manufacturer;
        // Many adapters repeat the maker at the start of the product name.
        if (usb->product.compare(0, who.size(), who) == 0)
            who = usb->product;
        else if (!usb->product.empty())
            who += (who.empty() ? "" : " ") + usb->product;
        if (who.empty())
            who = "USB serial adapter";
        if (!usb->serial.empty())
            who += " (" + usb->serial + ")";
        parts.push_back(who);
        parts.push_back(usb->vid + ":" + usb->pid);
    } else if (pseudoTerminal) {
        parts.emplace_back("pseudo-terminal");
    } else if (!driver.empty()) {
        parts.emplace_back("serial port");
    }
    if (!driver.empty())
        parts.push_back(driver);
    std::string line;
    for (const std::string& part : parts)
        line += (line.empty() ? "" : ", ") + part;
    return line;
}

std::string PortDescription::summary() const {
    std::string line = identity();
    const std::string name = !byId.empty()     ? "by-id " + lastPart(byId)
                             : !byPath.empty() ? "by-path " + lastPart(byPath)
                                               : std::string{};
    if (!name.empty())
        line += (line.empty() ? "" : ", ") + name;
    return line.empty() ? "no hardware details" : line;
}

} // namespace pexo
