#include "cli/CliRequest.h"
#include "cli/ExitStatus.h"
#include "cli/PortList.h"
#include "cli/SettingOverrides.h"

#include <gtest/gtest.h>

#include <variant>

namespace pexo::cli {
namespace {

std::variant<CliRequest, CliExit> parse(std::vector<const char*> args) {
    args.insert(args.begin(), "pexo-cli");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
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
    for (const auto& args : {std::vector<const char*>{},
                             std::vector<const char*>{"a.lzh", "--no-such-option"},
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

} // namespace
} // namespace pexo::cli
