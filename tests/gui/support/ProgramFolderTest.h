#pragma once

// Pieces the settings-dialog and main-window tests share.

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/settings/ProfileFile.h"
#include "support/GuiTestEnvironment.h"

#include <QObject>
#include <memory>
#include <string>

namespace pexo::test {

// A test whose every case gets a program folder of its own, gone when the case ends.
class ProgramFolderTest : public QObject {
    Q_OBJECT
protected:
    std::unique_ptr<ProgramFolder> m_folder;

private slots:
    void init() { m_folder = std::make_unique<ProgramFolder>(); }
    void cleanup() { m_folder.reset(); }
};

// A key of the settings file as it stands on disk, "<missing>" when it is not there.
inline std::string settingValue(const ProgramFolder& folder, const char* section, const char* key) {
    return readProfile(folder.settingsFileStd()).get(section, key).value_or("<missing>");
}

// A stand-in host: the data-set operations only need the context.
struct ContextHost : Host {
    DownloadContext ctx;
    std::string file;
    std::uint32_t size = 0;
    DownloadContext* downloadContext() override { return &ctx; }
    void showMessage(std::string_view, MessageIcon) override {}
    std::string& imageFile() override { return file; }
    std::uint32_t& imageSize() override { return size; }
    std::span<const std::uint8_t> imageBytes() const override { return {}; }
};

} // namespace pexo::test
