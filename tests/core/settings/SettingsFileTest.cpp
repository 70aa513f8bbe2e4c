#include "core/settings/SettingsFile.h"

#include "SettingsFileFixture.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/PortDevices.h"

#include <cerrno>

namespace pexo {
namespace {

const std::string kDefaultParamSection = "[Param UserSettings]\n"
                                         "Code30=10\n"
                                         "Code31=1000\n"
                                         "Code51=180000\n"
                                         "Code52=180000\n"
                                         "Code53=180000\n"
                                         "Code54=180000\n"
                                         "Code61=3\n"
                                         "CheckCode72=0\n"
                                         "Code62_1=0x004000\n"
                                         "Code62_2=0x0022\n"
                                         "Code63_1=0x006000\n"
                                         "Code63_2=0x1FFFFF\n"
                                         "Code72=0xFFFFFFFF\n";

TEST_F(SettingsFileTest, FirstSaveCreatesTheFileWithOnlyThatSectionAndLoadsBack) {
    iniFolder();
    CommSettings comm;
    comm.Port = 7; // whatever the record held, a missing file gives the built-ins
    ASSERT_TRUE(LoadCommSettings(comm, SettingsSection::User));
    EXPECT_EQ(comm, CommSettings{});

    ASSERT_TRUE(SaveProtocolParameters(ProtocolParameters{}, SettingsSection::User));
    EXPECT_EQ(slurp(iniFile()), kDefaultParamSection);
    EXPECT_EQ(filesIn(root_ / "INI"), 1u) << "a temporary file was left behind";

    ProtocolParameters p;
    p.Code61 = -1;
    p.Code72 = 0x12345678;
    p.Code62_2 = 0;
    ASSERT_TRUE(SaveProtocolParameters(p, SettingsSection::User));
    ProtocolParameters back;
    back.Code62_2 = 5;
    ASSERT_TRUE(LoadProtocolParameters(back, SettingsSection::User));
    EXPECT_EQ(back, p);
    EXPECT_NE(slurp(iniFile()).find("Code61=-1\n"), std::string::npos);
    EXPECT_NE(slurp(iniFile()).find("Code62_2=0x0000\n"), std::string::npos);
}

TEST_F(SettingsFileTest, SavingAGroupRewritesOnlyItsKeys) {
    const std::string before = "# kept\r\n"
                               "[RS232C Default]\r\n"
                               "Port=1\r\n"
                               "[rs232c usersettings]\r\n"
                               "Extra=keep me\r\n"
                               "baud rate = 3\r\n"
                               "\r\n"
                               "[Param Default]\r\n"
                               "Code30=500\r\n";
    spit(iniFolder() / "PexoUDef.INI", before);
    CommSettings s;
    s.BaudRate = 12;
    s.Flow = 5;
    ASSERT_TRUE(SaveCommSettings(s, SettingsSection::User));
    EXPECT_EQ(slurp(iniFile()), "# kept\r\n"
                                "[RS232C Default]\r\n"
                                "Port=1\r\n"
                                "[rs232c usersettings]\r\n"
                                "Extra=keep me\r\n"
                                "baud rate = 12\r\n"
                                "Port=0\r\n"
                                "Data Bits=3\r\n"
                                "Parity=1\r\n"
                                "Stop Bits=0\r\n"
                                "Flow=5\r\n"
                                "\r\n"
                                "[Param Default]\r\n"
                                "Code30=500\r\n");
}

TEST_F(SettingsFileTest, DefaultSectionsAloneLeaveTheBuiltInsInForce) {
    spit(iniFolder() / "PexoUDef.INI", "[RS232C Default]\nPort=1\nBaud Rate=6\n"
                                       "[Param Default]\nCode30=99\nCode62_1=0x1000\n");
    CommSettings comm;
    LoadCommSettings(comm, SettingsSection::User);
    EXPECT_EQ(comm, CommSettings{});
    ProtocolParameters params;
    LoadProtocolParameters(params, SettingsSection::User);
    EXPECT_EQ(params, ProtocolParameters{});

    LoadCommSettings(comm, SettingsSection::Default);
    EXPECT_EQ(comm.Port, 1);
    EXPECT_EQ(comm.BaudRate, 6);
    EXPECT_EQ(comm.DataBits, 3);
    // Any selector other than User means the default section.
    params = {};
    LoadProtocolParameters(params, static_cast<SettingsSection>(7));
    EXPECT_EQ(params.Code30, 99);
    EXPECT_EQ(params.Code62_1, 0x1000);
}

TEST_F(SettingsFileTest, HandEditedValuesLoadByTheScanRules) {
    spit(iniFolder() / "PexoUDef.INI", "[Param UserSettings]\n"
                                       "Code30= 25ms\n"
                                       "Code31=abc\n"
                                       "Code51=\n"
                                       "Code62_1=4000\n"
                                       "Code62_2=\n"
                                       "Code63_1=zz\n"
                                       "Code63_2=" +
                                           std::string(49, '0') +
                                           "5\n"
                                           "Code72=-1\n");
    ProtocolParameters p;
    p.Code31 = 1234;
    p.Code63_1 = 0x7000;
    LoadProtocolParameters(p, SettingsSection::User);
    EXPECT_EQ(p.Code30, 25);
    EXPECT_EQ(p.Code31, 1234) << "no digits: the current value stays";
    EXPECT_EQ(p.Code51, 180000);
    EXPECT_EQ(p.Code62_1, 0x4000);
    EXPECT_EQ(p.Code62_2, 0) << "an empty hex value reads as 0";
    EXPECT_EQ(p.Code63_1, 0x7000);
    EXPECT_EQ(p.Code63_2, 0) << "only the first 49 characters are read";
    EXPECT_EQ(p.Code72, 0xFFFFFFFFu);
}

TEST_F(SettingsFileTest, MissingFolderIsNeverCreated) {
    // Without an INI folder the program folder is not writable; with no folder of the
    // user's either, nothing can be saved.
    ASSERT_FALSE(SaveCommSettings(CommSettings{}, SettingsSection::User));
    EXPECT_FALSE(fs::exists(root_ / "INI"));
    CommSettings comm;
    comm.Parity = 2;
    EXPECT_TRUE(LoadCommSettings(comm, SettingsSection::User));
    EXPECT_EQ(comm, CommSettings{});
}

TEST_F(SettingsFileTest, ReadOnlyFileIsLeftAsItWas) {
    const std::string before = "[Param UserSettings]\nCode30=5\n";
    spit(iniFolder() / "PexoUDef.INI", before);
    fs::permissions(iniFile(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(SaveProtocolParameters(ProtocolParameters{}, SettingsSection::User));
    EXPECT_EQ(slurp(iniFile()), before);
    EXPECT_EQ(filesIn(root_ / "INI"), 1u);
}

// What the file looked like at the moment the new one was moved into place.
std::string seenAtRename;
std::string seenInTemporary;
int observingRename(const char* from, const char* to) {
    seenAtRename = slurp(to);
    seenInTemporary = slurp(from);
    return moveOverFile(from, to);
}
int failingRename(const char*, const char*) {
    errno = EXDEV;
    return -1;
}

TEST_F(SettingsFileTest, ReplacementIsAllOrNothing) {
    const fs::path file = iniFolder() / "PexoUDef.INI";
    spit(file, "old");
    ASSERT_TRUE(replaceWholeFile(file.string(), "new content", &observingRename));
    EXPECT_EQ(seenAtRename, "old") << "the original must not be touched before the rename";
    EXPECT_EQ(seenInTemporary, "new content");
    EXPECT_EQ(slurp(file), "new content");

    EXPECT_FALSE(replaceWholeFile(file.string(), "lost", &failingRename));
    EXPECT_EQ(slurp(file), "new content");
    EXPECT_EQ(filesIn(root_ / "INI"), 1u) << "the temporary must be removed";
}

TEST_F(SettingsFileTest, PortDevicesShareTheFile) {
    iniFolder();
    PortDevices devices;
    devices.com1 = "/dev/serial/by-id/usb-FTDI port0";
    ASSERT_TRUE(SavePortDevices(devices));
    ASSERT_TRUE(SaveCommSettings(CommSettings{}, SettingsSection::User));

    PortDevices back;
    back.com2 = "stale";
    LoadPortDevices(back);
    EXPECT_EQ(back.com1, devices.com1);
    EXPECT_EQ(back.com2, PortDevices{}.com2);
    EXPECT_EQ(back.pathFor(2), PortDevices{}.com2);

    const std::string before = slurp(iniFile());
    devices.com2 = "/dev/ttyUSB0\n[RS232C UserSettings]";
    EXPECT_FALSE(SavePortDevices(devices));
    EXPECT_EQ(slurp(iniFile()), before);
}

TEST_F(SettingsFileTest, UnresolvablePathGivesDefaultsAndWritesNothing) {
    setPathEnvironment(PathEnvironment{[] { return std::string(); }, [] { return ""; }});
    EXPECT_EQ(settingsFilePath(), std::nullopt);
    ProtocolParameters p;
    p.Code30 = 44;
    EXPECT_TRUE(LoadProtocolParameters(p, SettingsSection::User));
    EXPECT_EQ(p.Code30, 44);
    EXPECT_FALSE(SaveProtocolParameters(p, SettingsSection::User));
    EXPECT_FALSE(SavePortDevices(PortDevices{}));
}

TEST_F(SettingsFileTest, TheProgramFolderHoldsTheSettingsWhileItIsWritable) {
    const struct {
        const char* what;
        bool programWritable;
        bool userFileExists;
        bool configKnown;
        bool readsUser, savesUser;
    } cases[] = {
        {"writable program folder", true, true, true, false, false},
        {"read-only, before the first save", false, false, true, false, true},
        {"read-only, after the first save", false, true, true, true, true},
        {"read-only, no folder of the user's", false, false, false, false, false},
    };
    spit(iniFolder() / "PexoUDef.INI", "[RS232C UserSettings]\nBaud Rate=3\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        programWritable_ = c.programWritable;
        configFolder_ = c.configKnown ? (root_ / "config").string() : "";
        fs::remove_all(root_ / "config");
        if (c.userFileExists) {
            fs::create_directories(userFile().parent_path());
            spit(userFile(), "[RS232C UserSettings]\nBaud Rate=9\n");
        }
        const auto files = settingsFiles();
        ASSERT_TRUE(files);
        EXPECT_EQ(files->readFrom(), (c.readsUser ? userFile() : iniFile()).string());
        EXPECT_EQ(files->saveTo(), (c.savesUser ? userFile() : iniFile()).string());
        EXPECT_EQ(files->describe().rfind("Settings file: " + files->saveTo(), 0), 0u);
        EXPECT_EQ(files->describe().find("until then") != std::string::npos,
                  c.savesUser && !c.userFileExists);
        CommSettings comm;
        LoadCommSettings(comm, SettingsSection::User);
        EXPECT_EQ(comm.BaudRate, c.readsUser ? 9 : 3);
    }
}

TEST_F(SettingsFileTest, TheFirstSaveOfAnInstalledProgramCopiesTheProgramFoldersFile) {
    const std::string shipped = "[RS232C Default]\nPort=1\n\n[Param Default]\nCode30=20\n\n"
                                "[Param UserSettings]\nCode30=7\n";
    spit(iniFolder() / "PexoUDef.INI", shipped);
    programWritable_ = false;
    configFolder_ = (root_ / "config").string();

    ProtocolParameters p;
    LoadProtocolParameters(p, SettingsSection::User);
    EXPECT_EQ(p.Code30, 7) << "until the first save the program folder's file is read";
    ASSERT_FALSE(fs::exists(userFile()));

    CommSettings comm;
    comm.BaudRate = 12;
    ASSERT_TRUE(SaveCommSettings(comm, SettingsSection::User));
    EXPECT_EQ(slurp(userFile()), shipped + "\n[RS232C UserSettings]\nPort=0\nBaud Rate=12\nData "
                                           "Bits=3\nParity=1\nStop Bits=0\nFlow=0\n");
    EXPECT_EQ(slurp(iniFile()), shipped);

    // Default Save goes where the user sections go; Default reads it back from there.
    comm.Port = 0;
    ASSERT_TRUE(SaveCommSettings(comm, SettingsSection::Default));
    EXPECT_EQ(slurp(iniFile()), shipped);
    CommSettings defaults;
    LoadCommSettings(defaults, SettingsSection::Default);
    EXPECT_EQ(defaults.Port, 0);
    EXPECT_EQ(defaults.BaudRate, 12);
    ASSERT_TRUE(SavePortDevices(PortDevices{}));
    EXPECT_NE(slurp(userFile()).find("[RS232C Devices]"), std::string::npos);

    // A user's folder that cannot be made saves nothing anywhere.
    fs::remove_all(root_ / "config");
    spit(root_ / "config", "a file, not a folder");
    EXPECT_FALSE(SaveCommSettings(comm, SettingsSection::User));
    EXPECT_EQ(slurp(iniFile()), shipped);
}

} // namespace
} // namespace pexo
