#include "core/serial/PortDescription.h"

#include "core/app/Utf16.h"
#include "core/serial/PortHandlesWindows.h"

#include <algorithm>
#include <cwctype>

namespace pexo {
namespace {

std::string narrow(const wchar_t* text, std::size_t length) {
    return toUtf8(std::wstring_view(text, length)).value_or(std::string{});
}

bool isComName(const std::wstring& name) {
    return name.size() > 3 && std::towupper(name[0]) == L'C' && std::towupper(name[1]) == L'O' &&
           std::towupper(name[2]) == L'M' &&
           name.find_first_not_of(L"0123456789", 3) == std::wstring::npos;
}

// The ports the serial drivers announce: value names are their kernel devices
// ("\Device\Serial0"), the data their COM names.
std::vector<PortDescription> registryPorts() {
    std::vector<PortDescription> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameLength = 256;
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        PortDescription port;
        port.path = narrow(data, std::wcslen(data));
        port.driver = narrow(name, nameLength);
        ports.push_back(std::move(port));
    }
    ::RegCloseKey(key);
    return ports;
}

// Without that key (no driver wrote it): the COMn names the object manager knows.
std::vector<PortDescription> dosDevicePorts() {
    std::vector<PortDescription> ports;
    std::vector<wchar_t> names(65536);
    const DWORD length = ::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (std::size_t at = 0; at < length && names[at] != L'\0';) {
        const std::wstring name(names.data() + at);
        at += name.size() + 1;
        if (isComName(name)) {
            PortDescription port;
            port.path = narrow(name.data(), name.size());
            ports.push_back(std::move(port));
        }
    }
    return ports;
}

} // namespace

std::vector<PortDescription> listSerialPorts(const DeviceTree&) {
    std::vector<PortDescription> ports = registryPorts();
    if (ports.empty())
        ports = dosDevicePorts();
    for (PortDescription& port : ports)
        std::transform(port.path.begin(), port.path.end(), port.path.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::sort(ports.begin(), ports.end(), [](const PortDescription& a, const PortDescription& b) {
        return naturalLess(a.path, b.path);
    });
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const PortDescription& a, const PortDescription& b) {
                                return a.path == b.path;
                            }),
                ports.end());
    return ports;
}

std::optional<PortDescription> describePort(const std::string& pathAsGiven, const DeviceTree& tree) {
    std::string name = pathAsGiven;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (name.empty())
        return std::nullopt;
    for (PortDescription& port : listSerialPorts(tree))
        if (port.path == name)
            return port;
    wchar_t target[1024];
    const std::optional<std::wstring> wide = toUtf16(name);
    if (!wide || ::QueryDosDeviceW(wide->c_str(), target, 1024) == 0)
        return std::nullopt;
    PortDescription port;
    port.path = name;
    return port;
}

} // namespace pexo
