#include "cli/CliApp.h"
#include "cli/CliRequest.h"
#include "cli/ExitStatus.h"
#include "cli/PortList.h"
#include "cli/PortReport.h"
#include "cli/SettingOverrides.h"
#include "core/app/Version.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/ParameterChecks.h"
#include "core/settings/SettingsLocation.h"
#include "devsim/FakeDeviceTree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace pexo::cli {
namespace {

using namespace std::chrono_literals;

std::variant<CliRequest, CliExit> parse(std::vector<const char*> args) {
    args.insert(args.begin(), "pexo-cli");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

TEST(CliCommandLine, PortsRepeatWithoutSwallowingTheArchive) {
    auto parsed = parse({"--port", "COM2", "--port", "/dev/ttyUSB0", "image.lzh", "--quiet"});
    ASSERT_TRUE(std::holds_alternative<CliRequest>(parsed));
    const auto& request = std::get<CliRequest>(parsed);
    EXPECT_EQ(request.archive, "image.lzh");
    EXPECT_EQ(request.ports, (std::vector<std::string>{"COM2", "/dev/ttyUSB0"}));
    EXPECT_TRUE(request.quiet);
}

TEST(CliCommandLine, MistakesEndWithTheSetUpStatusAndHelpDoesNot) {
    for (const auto& args :
         {std::vector<const char*>{}, std::vector<const char*>{"a.lzh", "--no-such-option"},
          std::vector<const char*>{"a.lzh", "--connect-timeout", "-1"},
          std::vector<const char*>{"a.lzh", "b.lzh"}}) {
        auto parsed = parse(args);
        ASSERT_TRUE(std::holds_alternative<CliExit>(parsed)) << args.size();
        EXPECT_EQ(std::get<CliExit>(parsed).status, kExitSetupFailed);
        EXPECT_FALSE(std::get<CliExit>(parsed).toStdout);
    }
    auto help = parse({"--help"});
    ASSERT_TRUE(std::holds_alternative<CliExit>(help));
    EXPECT_EQ(std::get<CliExit>(help).status, kExitNormalEnd);
    EXPECT_NE(std::get<CliExit>(help).text.find("--full-checksum"), std::string::npos);
}

TEST(CliCommandLine, VersionNamesTheSettingsFileInForce) {
    auto version = parse({"--version", "a.lzh"});
    ASSERT_TRUE(std::holds_alternative<CliExit>(version));
    const CliExit& exit = std::get<CliExit>(version);
    EXPECT_EQ(exit.status, kExitNormalEnd);
    EXPECT_TRUE(exit.toStdout);
    const auto files = settingsFiles();
    ASSERT_TRUE(files);
    EXPECT_EQ(exit.text, "pexo-cli " + std::string(pexoVersion()) + "\n" + files->describe());
    EXPECT_NE(exit.text.find("Settings file: /"), std::string::npos);
}

TEST(CliCommandLine, OptionsOutsideTheirBoundsAreRefused) {
    const std::string above0 = "--connect-timeout: give a number of seconds above 0.";
    const std::string atMost = "--connect-timeout: give at most 604800 seconds (7 days).";
    const struct {
        std::vector<const char*> args;
        std::string refusal; // empty: accepted
        std::optional<std::chrono::milliseconds> timeout = std::nullopt;
        std::int32_t checkCode72 = 1; // after the overrides, from a file that has it on
    } cases[] = {
        {{"--connect-timeout", "0"}, above0, std::nullopt, 1},
        {{"--connect-timeout", "-1"}, above0, std::nullopt, 1},
        {{"--connect-timeout", "1e10"}, atMost, std::nullopt, 1},
        {{"--connect-timeout", "inf"}, atMost, std::nullopt, 1},
        {{"--connect-timeout", "nan"}, atMost, std::nullopt, 1},
        {{"--connect-timeout", "604801"}, atMost, std::nullopt, 1},
        {{"--full-checksum", "1", "--no-full-checksum"}, "excludes", std::nullopt, 1},
        {{"--full-checksum", "123456789"},
         "--full-checksum: Code72: please enter an integer between 0x00000000 and 0xFFFFFFFF.",
         std::nullopt,
         1},
        {{"--write-first", ""},
         "--write-first: Code63.1: please enter a hexadecimal number.",
         std::nullopt,
         1},
        {{"--connect-timeout", "0.5"}, "", 500ms, 1},
        {{"--connect-timeout", "604800"}, "", 604800s, 1},
        {{"--connect-timeout", "0.0001"}, "", 1ms, 1}, // never rounded down to no wait at all
        {{"--no-full-checksum"}, "", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        SCOPED_TRACE(std::string(args[0]) + " " + (args.size() > 1 ? args[1] : ""));
        args.push_back("a.lzh");
        auto parsed = parse(args);
        CommSettings comm;
        ProtocolParameters params;
        params.CheckCode72 = 1;
        std::string refused;
        if (auto* exit = std::get_if<CliExit>(&parsed))
            refused = exit->status == kExitSetupFailed ? exit->text : "wrong status";
        else if (auto r = applyOverrides(std::get<CliRequest>(parsed).overrides, comm, params))
            refused = *r;
        if (!c.refusal.empty()) {
            EXPECT_NE(refused.find(c.refusal), std::string::npos) << refused;
            continue;
        }
        ASSERT_EQ(refused, "");
        EXPECT_EQ(std::get<CliRequest>(parsed).connectTimeout, c.timeout);
        EXPECT_EQ(params.CheckCode72, c.checkCode72);
    }
}

TEST(CliCommandLine, StationOptionsAreBoundedAndCountGoesWithLoop) {
    const struct {
        std::vector<const char*> args;
        std::string refusal; // empty: accepted
    } cases[] = {
        {{"--count", "3"}, "--count: give it with --loop."},
        {{"--loop", "--count", "0"}, "--count: \"0\" is not a whole number of devices from 1"},
        {{"--loop", "--count", "-1"}, "--count: \"-1\""},
        {{"--loop", "--count", "99999999999999999999"}, "--count:"},
        {{"--retries", "1001"},
         "--retries: \"1001\" is not a whole number of retries from 0 to 1000."},
        {{"--retries", "2x"}, "--retries:"},
        {{"--gone-after", "99"}, "--gone-after:"},
        {{"--gone-after", "86400001"}, "--gone-after:"},
        {{"--log", ""}, "--log: give a file name."},
        {{"--loop", "--count", "3", "--retries", "2", "--gone-after", "150", "--log", "r.csv"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        SCOPED_TRACE(std::string(args[0]) + " " + (args.size() > 1 ? args[1] : ""));
        args.push_back("a.lzh");
        auto parsed = parse(args);
        if (!c.refusal.empty()) {
            ASSERT_TRUE(std::holds_alternative<CliExit>(parsed));
            EXPECT_EQ(std::get<CliExit>(parsed).status, kExitSetupFailed);
            EXPECT_NE(std::get<CliExit>(parsed).text.find(c.refusal), std::string::npos)
                << std::get<CliExit>(parsed).text;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<CliRequest>(parsed));
        const StationRequest& station = std::get<CliRequest>(parsed).station;
        EXPECT_TRUE(station.wanted());
        EXPECT_EQ(station.count, 3u);
        EXPECT_EQ(station.retries, 2u);
        EXPECT_EQ(station.goneAfter, 150ms);
        EXPECT_EQ(station.logFile, "r.csv");
    }
    auto plain = parse({"a.lzh"});
    ASSERT_TRUE(std::holds_alternative<CliRequest>(plain));
    EXPECT_FALSE(std::get<CliRequest>(plain).station.wanted()) << "one download, as ever";
}

// Runs the whole command on an archive that does not exist, so that a refusal seen comes
// before the archive (and every port) is touched; returns the status and stderr.
std::pair<int, std::string> runWithoutArchive(std::vector<const char*> argv) {
    argv.insert(argv.begin(), "pexo-cli");
    argv.push_back("missing.lzh");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    const std::string said = contents(err);
    EXPECT_EQ(contents(out), "");
    std::fclose(out);
    std::fclose(err);
    return {status, said};
}

std::string scratchFile(const std::string& name, const std::string& text) {
    const std::string path =
        ::testing::TempDir() + "pexo-cli-" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::trunc) << text;
    return path;
}

TEST(CliSettingsFile, AFileThatCannotServeEndsTheRunFirst) {
    const std::string big = scratchFile("big.ini", "");
    ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(kMaxSettingsFileSize) + 1), 0);
    const std::string inverted =
        scratchFile("inverted.ini", "[Param UserSettings]\nCode63_1=0x2000\nCode63_2=0x1FFF\n");
    const std::string plain = scratchFile("plain.ini", "");
    const std::string folder = ::testing::TempDir(), none = folder + "pexo-cli-no-such.ini";
    const std::string backwards(kWriteRangeInvertedMessage);
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"--settings", big.c_str()},
         "--settings: " + big + " is larger than the 16 MiB a settings file may hold"},
        {{"--settings", folder.c_str()}, "--settings: " + folder + " is not a regular file"},
        {{"--settings", none.c_str()},
         "--settings: " + none + " cannot be read: No such file or directory"},
        {{"--settings", inverted.c_str()}, "--settings: " + inverted + ": " + backwards},
        {{"--settings", plain.c_str(), "--write-first", "2000", "--write-last", "1FFF"},
         "--write-first/--write-last: " + backwards},
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(args[1]);
        EXPECT_EQ(runWithoutArchive(args), std::make_pair(kExitSetupFailed, says + "\n"));
    }
    for (const std::string& file : {big, inverted, plain})
        std::remove(file.c_str());
}

TEST(CliStation, ALogThatCannotBeOpenedEndsTheRunBeforeAnythingIsSent) {
    const std::string folder = scratchFile("not-a-folder", "");
    for (const std::string& log : {folder + "/r.jsonl", ::testing::TempDir()}) {
        SCOPED_TRACE(log);
        const auto [status, said] = runWithoutArchive({"--log", log.c_str()});
        EXPECT_EQ(status, kExitSetupFailed);
        EXPECT_NE(said.find("--log " + log + ": "), std::string::npos) << said;
        EXPECT_EQ(said.find("missing.lzh"), std::string::npos) << "the archive was not opened";
    }
}

TEST(CliSettingsFile, AFileWithoutReadRightsEndsTheRun) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads a file whatever its mode";
    const std::string locked = scratchFile("locked.ini", "[Param UserSettings]\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    EXPECT_EQ(runWithoutArchive({"--settings", locked.c_str()}),
              std::make_pair(kExitSetupFailed,
                             "--settings: " + locked + " cannot be read: Permission denied\n"));
    std::remove(locked.c_str());
}

TEST(CliOverrides, ListSettingsTakeTheDialogsEntriesOnly) {
    SettingOverrides o;
    o.baud = "115200";
    o.dataBits = "7";
    o.parity = "odd";
    o.stopBits = "1.5";
    o.sectorSize = "2048";
    CommSettings comm;
    ProtocolParameters params;
    EXPECT_EQ(applyOverrides(o, comm, params), std::nullopt);
    EXPECT_EQ(comm.BaudRate, 12);
    EXPECT_EQ(comm.DataBits, 2);
    EXPECT_EQ(comm.Parity, 2);
    EXPECT_EQ(comm.StopBits, 1);
    EXPECT_EQ(params.Code61, 4);

    SettingOverrides bad;
    bad.baud = "115201";
    auto refused = applyOverrides(bad, comm, params);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->rfind("--baud: ", 0), 0u) << *refused;
    bad = {};
    bad.dataBits = "9";
    EXPECT_TRUE(applyOverrides(bad, comm, params));
    bad = {};
    bad.sectorSize = "1000";
    EXPECT_TRUE(applyOverrides(bad, comm, params));
}

TEST(CliOverrides, FlowIsACommaListOfTheThreeBoxesOrNone) {
    const std::pair<const char*, std::int32_t> good[] = {
        {"dtr", 1}, {"rts", 2}, {"xon", 4}, {"dtr,xon", 5}, {"RTS,dtr,xon", 7}, {"none", 0}};
    for (const auto& [text, bits] : good) {
        SettingOverrides o;
        o.flow = text;
        CommSettings comm;
        comm.Flow = 6;
        ProtocolParameters params;
        EXPECT_EQ(applyOverrides(o, comm, params), std::nullopt) << text;
        EXPECT_EQ(comm.Flow, bits) << text;
    }
    for (const char* text : {"", "dtr,", "cts", "none,dtr"}) {
        SettingOverrides o;
        o.flow = text;
        CommSettings comm;
        ProtocolParameters params;
        EXPECT_TRUE(applyOverrides(o, comm, params)) << '"' << text << '"';
    }
}

TEST(CliOverrides, NumbersGetTheParameterDialogsChecksAndMessages) {
    CommSettings comm;
    ProtocolParameters params;
    SettingOverrides o;
    o.txInterval = "0";
    EXPECT_EQ(applyOverrides(o, comm, params),
              "--tx-interval: Please enter an integer between 1 and 1000.");
    o = {};
    o.timeoutErase = "12ms";
    EXPECT_EQ(applyOverrides(o, comm, params), "--timeout-erase: Please enter an integer.");
    o = {};
    o.eraseSectors = "0";
    EXPECT_EQ(applyOverrides(o, comm, params),
              "--erase-sectors: Code62.2: please enter an integer between 0x0001 and 0xFFFF.");
    o = {};
    o.writeLast = "0x1000000";
    EXPECT_TRUE(applyOverrides(o, comm, params));
    o = {};
    o.writeFirst = "60G0"; // "%x" would stop at the G; a command line refuses it
    EXPECT_TRUE(applyOverrides(o, comm, params));

    o = {};
    o.txWait = "1";
    o.timeoutWrite = "250";
    o.eraseFirst = "0x4000";
    o.writeLast = "fffff";
    o.fullChecksum = "0xDEADBEEF";
    params = {};
    ASSERT_EQ(applyOverrides(o, comm, params), std::nullopt);
    EXPECT_EQ(params.Code31, 1);
    EXPECT_EQ(params.Code51, 250);
    EXPECT_EQ(params.Code62_1, 0x4000);
    EXPECT_EQ(params.Code63_2, 0xFFFFF);
    EXPECT_EQ(params.Code72, 0xDEADBEEFu);
    EXPECT_EQ(params.CheckCode72, 1);
}

TEST(CliPorts, NamesMapToTheSettingsDevicesAndPathsStandForThemselves) {
    PortDevices devices;
    devices.com1 = "/dev/ttyUSB3";
    devices.com2 = "/dev/ttyACM0";

    auto ports = std::get<std::vector<PortChoice>>(choosePorts({}, 1, devices));
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].name, "COM2");
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyACM0");
    // A position outside the list falls back to COM1, as a download does.
    ports = std::get<std::vector<PortChoice>>(choosePorts({}, 7, devices));
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyUSB3");

    ports = std::get<std::vector<PortChoice>>(choosePorts({"com1", "/dev/pts/9"}, 1, devices));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, "COM1");
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyUSB3");
    EXPECT_EQ(ports[0].listPosition, 0);
    EXPECT_EQ(ports[1].devicePath, "/dev/pts/9");

    EXPECT_TRUE(std::holds_alternative<std::string>(choosePorts({"COM3"}, 0, devices)));
    EXPECT_TRUE(std::holds_alternative<std::string>(choosePorts({"ttyS0"}, 0, devices)));
    EXPECT_TRUE(
        std::holds_alternative<std::string>(choosePorts({"COM1", "/dev/ttyUSB3"}, 0, devices)));
}

TEST(CliPorts, ALinkIsKeptAsGivenAndIsTheDeviceItLeadsTo) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("pexo-cli-ports-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "ttyUSB0") << "";
    fs::create_symlink("ttyUSB0", folder / "usb-FTDI-port0");
    const std::string node = (folder / "ttyUSB0").string();
    const std::string link = (folder / "usb-FTDI-port0").string();

    const auto ports = choosePorts({link}, 0, PortDevices{});
    ASSERT_TRUE(std::holds_alternative<std::vector<PortChoice>>(ports));
    EXPECT_EQ(std::get<std::vector<PortChoice>>(ports)[0].devicePath, link);
    const auto twice = choosePorts({node, link}, 0, PortDevices{});
    ASSERT_TRUE(std::holds_alternative<std::string>(twice));
    EXPECT_EQ(std::get<std::string>(twice),
              "--port: " + link + " and " + node + " are the same device.");
    fs::remove_all(folder);
}

TEST(CliPorts, TheListSaysWhatEachPortIs) {
    auto listing = parse({"--list-ports"});
    ASSERT_TRUE(std::holds_alternative<CliRequest>(listing)) << "no archive is needed";
    EXPECT_TRUE(std::get<CliRequest>(listing).listPorts);

    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("pexo-cli-tree-" + std::to_string(::getpid()));
    devsim::FakeDeviceTree fake(folder.string());
    fake.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A5XK3RJT",
                 "usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0",
                 "pci-0000:00:14.0-usb-0:2:1.0-port0", 2});
    fake.addUart({"ttyS0", "serial", 4, true});
    const std::string dev = fs::canonical(fake.devRoot()).string();
    EXPECT_EQ(portReport(listSerialPorts({fake.sysRoot(), fake.devRoot()})),
              dev +
                  "/ttyS0\n"
                  "  driver:  serial\n" +
                  dev + "/ttyUSB0\n  by-id:   " + dev +
                  "/serial/by-id/usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0\n  by-path: " + dev +
                  "/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0\n"
                  "  driver:  ftdi_sio\n"
                  "  USB:     0403:6001 FTDI FT232R USB UART, serial number A5XK3RJT\n");
    EXPECT_EQ(portReport({}), "No serial ports found.\n");
    fs::remove_all(folder);
}

} // namespace
} // namespace pexo::cli
