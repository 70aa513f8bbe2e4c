#include "core/serial/PortOpenFailure.h"

#include <windows.h>

#include "core/app/Utf16.h"

namespace pexo {

std::string systemErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (length > 0)
        out = toUtf8(std::wstring_view(text, length)).value_or(std::string{});
    if (text)
        ::LocalFree(text);
    // The system's texts end in a full stop and a line break; the failure line adds its own.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' ||
                            out.back() == ' '))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(error) : out;
}

PortOpenFailure explainPortOpenFailure(const std::string& port, int error) {
    PortOpenFailure failure;
    failure.port = port;
    failure.error = error;
    switch (static_cast<DWORD>(error)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
        failure.problem = PortProblem::Missing;
        break;
    // A port is opened without sharing; another holder makes it refuse us this way.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        failure.problem = PortProblem::InUse;
        break;
    default:
        break;
    }
    return failure;
}

// Windows has no lock files for serial ports: the exclusive open is the whole lock.
std::vector<std::string> setLockFolders(std::vector<std::string>) {
    return {};
}

std::string lockFileHolder(const std::string&) {
    return {};
}

} // namespace pexo
