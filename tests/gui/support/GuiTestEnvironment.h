#pragma once

// What every GUI test runs in: the offscreen platform, and a private program folder,
// cache folder and QSettings store, so that no test reads or writes the user's files.

#include "core/app/Paths.h"
#include "core/settings/SettingsLocation.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <string>

namespace pexo::test {

// A program folder of our own: "pexo" stands in for the executable (only its folder counts),
// INI/ for the settings file, DLL/UNLHA32.DLL is the archiver module built with the program.
class ProgramFolder {
public:
    ProgramFolder() : m_root(QDir::tempPath() + QStringLiteral("/pexo-gui-XXXXXX")) {
        const QDir root(m_root.path());
        root.mkpath(QStringLiteral("program/INI"));
        root.mkpath(QStringLiteral("program/DLL"));
        root.mkpath(QStringLiteral("windows"));
        const std::filesystem::path module = std::string(PEXO_BIN_DIR) + "/DLL/UNLHA32.DLL";
        std::error_code ec;
        std::filesystem::create_symlink(module, (programPath() + "DLL/UNLHA32.DLL").toStdString(),
                                        ec);
        const std::string exe = (programPath() + "pexo").toStdString();
        const std::string windows = root.filePath(QStringLiteral("windows")).toStdString();
        m_previous = setPathEnvironment({[exe] { return exe; }, [windows] { return windows; }});
        // The user's settings folder of an installed program: ours too.
        const std::string config = root.filePath(QStringLiteral("config")).toStdString();
        m_previousSettings = setSettingsEnvironment(
            {[config] { return config; }, systemSettingsEnvironment().writable});
    }
    ~ProgramFolder() {
        setPathEnvironment(m_previous);
        setSettingsEnvironment(m_previousSettings);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    QString programPath() const { return m_root.path() + QStringLiteral("/program/"); }
    QString settingsFile() const { return programPath() + QStringLiteral("INI/PexoUDef.INI"); }
    std::string settingsFileStd() const { return settingsFile().toStdString(); }
    QString scratch(const QString& name) const { return m_root.filePath(name); }
    // Where an installed program's settings go: the user's folder.
    QString userSettingsFile() const {
        return m_root.filePath(QStringLiteral("config/pexo/PexoUDef.INI"));
    }

    void writeSettings(const QByteArray& text) const {
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QByteArray readSettings() const {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool settingsExist() const { return QFile::exists(settingsFile()); }
    void removeSettings() const { QFile::remove(settingsFile()); }

private:
    QTemporaryDir m_root;
    PathEnvironment m_previous;
    SettingsEnvironment m_previousSettings;
};

// Called before the QApplication exists: QSettings and the cache folder go to a private
// folder that lives as long as the process.
inline void isolateUserFolders() {
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/pexo-gui-home-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       home.filePath(QStringLiteral("config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       home.filePath(QStringLiteral("config")));
}

} // namespace pexo::test

#define PEXO_GUI_TEST_MAIN(TestClass)                                                              \
    int main(int argc, char* argv[]) {                                                             \
        pexo::test::isolateUserFolders();                                                          \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
