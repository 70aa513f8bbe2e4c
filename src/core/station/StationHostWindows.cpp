#include "core/app/Utf16.h"
#include "core/station/StationHost.h"

#include <windows.h>

namespace pexo {

std::string hostName() {
    wchar_t name[256];
    DWORD size = 256;
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return {};
    return toUtf8(std::wstring_view(name, size)).value_or(std::string{});
}

// A COM port is a name in the device namespace, not a file: asking for its target finds it
// without opening it, which would take it from whoever holds it and raise its DTR line.
bool portDevicePresent(const std::string& device) {
    constexpr std::string_view kDeviceNamespace = "\\\\.\\";
    std::string_view name = device;
    if (name.substr(0, kDeviceNamespace.size()) == kDeviceNamespace)
        name.remove_prefix(kDeviceNamespace.size());
    const auto wide = toUtf16(name);
    if (!wide || wide->empty())
        return false;
    wchar_t target[1024];
    if (::QueryDosDeviceW(wide->c_str(), target, 1024) != 0 ||
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER)
        return true;
    // Not a device name: a path, which exists or not.
    const auto path = toUtf16(device);
    return path && ::GetFileAttributesW(path->c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace pexo
