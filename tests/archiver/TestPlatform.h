#pragma once

// What the archiver's and the image loading's tests need from the system, per platform
// (TestPlatformPosix.cpp, TestPlatformWindows.cpp). Where a platform lacks a thing, the helper
// says so and the test skips that case.

#include <filesystem>
#include <optional>
#include <string>

namespace pexo::test {

// A shared library loaded by path, as outside programs load the archiver module.
void* loadLibrary(const std::string& path, std::string& error);
void* librarySymbol(void* library, const char* name);
void freeLibrary(void* library);

// False where there are no FIFOs.
bool makeFifo(const std::filesystem::path& path);
// The permission bits, where files have them.
std::optional<unsigned> fileMode(const std::filesystem::path& path);
// Whether files stay readable whatever std::filesystem::permissions takes away: for root, and
// on Windows, where it only sets the read-only attribute.
bool readsEveryFile();
// Lets every user write into `folder` (its mode, or its ACL); false where that cannot be done.
bool shareWithEveryone(const std::filesystem::path& folder);
// Hands `folder` to another user; false where that cannot be done.
bool giveToAnotherUser(const std::filesystem::path& folder);
// A folder of another user that exists on every such system; empty where there is none.
std::filesystem::path foreignFolder();

} // namespace pexo::test
