// The settings file: any bytes, as a hand-edited or damaged file would hold them. Every group
// loads what the file says or its fallback, what a save writes reads back, and a save leaves
// every line it did not rewrite where it was. The real file functions are used throughout, in
// a private folder that holds nothing else.
#include "core/protocol/DownloadContext.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/CommLists.h"
#include "core/settings/DataSet.h"
#include "core/settings/IniDocument.h"
#include "core/settings/PortDevices.h"
#include "core/settings/ProfileFile.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/ValueText.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace pexo;

// The folder lives on tmpfs where there is one, so that a save's fsync costs little.
class Folder {
public:
    Folder() {
        const char* tmp = std::getenv("TMPDIR");
        for (const std::string& base : {std::string("/dev/shm"), std::string(tmp ? tmp : "/tmp")}) {
            path_ = base + "/pexo-fuzz-settings-XXXXXX";
            if (::mkdtemp(path_.data()))
                return;
        }
        std::abort();
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { ::rmdir(path_.c_str()); }

    const std::string& path() const { return path_; }

    bool empty() const {
        DIR* dir = ::opendir(path_.c_str());
        if (!dir)
            return false;
        std::size_t entries = 0;
        while (const dirent* entry = ::readdir(dir))
            if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                ++entries;
        ::closedir(dir);
        return entries == 0;
    }

private:
    std::string path_;
};

const Folder& folder() {
    static const Folder instance;
    return instance;
}

// A breach ends the process: the folder goes first, as nothing else would remove it.
void check(bool holds) {
    if (holds)
        return;
    std::error_code ignored;
    std::filesystem::remove_all(folder().path(), ignored);
    __builtin_trap();
}

// An independent reading of the profile rules, as the oracle for both the reader and the
// writer: lines end at LF (a CR before it belongs to the break), a byte-order mark opens the
// first line, names compare without case, the first section and the first key of a name count.
std::string_view trim(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\v\f";
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 0x80 && y < 0x80 && std::tolower(x) == std::tolower(y)))
            return false;
    }
    return true;
}

enum class Kind { Blank, Comment, Section, Key, Other };

struct Line {
    std::string_view raw; // with its line break
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};
using Lines = std::vector<Line>;

Line lineOf(std::string_view raw, bool first) {
    Line line;
    line.raw = raw;
    std::string_view content = raw;
    if (!content.empty() && content.back() == '\n') {
        content.remove_suffix(1);
        if (!content.empty() && content.back() == '\r')
            content.remove_suffix(1);
    }
    if (first && content.starts_with("\xEF\xBB\xBF"))
        content.remove_prefix(3);
    const std::string_view t = trim(content);
    if (t.empty()) {
        line.kind = Kind::Blank;
    } else if (t[0] == ';' || t[0] == '#') {
        line.kind = Kind::Comment;
    } else if (t[0] == '[') {
        if (const auto close = t.find(']'); close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = trim(t.substr(1, close - 1));
        }
    } else if (const auto eq = t.find('='); eq != std::string_view::npos) {
        line.name = trim(t.substr(0, eq));
        line.value = trim(t.substr(eq + 1));
        if (!line.name.empty())
            line.kind = Kind::Key;
    }
    return line;
}

Lines linesOf(std::string_view text) {
    Lines lines;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        const std::size_t length = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back(lineOf(text.substr(0, length), lines.empty()));
        text.remove_prefix(length);
    }
    return lines;
}

// The line holding the key's value, if the key counts.
std::optional<std::size_t> keyLine(const Lines& lines, std::string_view section,
                                   std::string_view key) {
    std::size_t i = 0;
    while (i < lines.size() &&
           !(lines[i].kind == Kind::Section && sameName(lines[i].name, section)))
        ++i;
    for (++i; i < lines.size() && lines[i].kind != Kind::Section; ++i)
        if (lines[i].kind == Kind::Key && sameName(lines[i].name, key))
            return i;
    return std::nullopt;
}

std::optional<std::string> valueOf(const Lines& lines, std::string_view section,
                                   std::string_view key) {
    const auto at = keyLine(lines, section, key);
    if (!at)
        return std::nullopt;
    std::string_view value = lines[*at].value;
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// The reader agrees with the oracle on every name the file itself uses (the first few).
void readerAgrees(std::string_view text) {
    const IniDocument doc{std::string(text)};
    const Lines lines = linesOf(text);
    std::string_view section;
    int keys = 0;
    for (const Line& line : lines) {
        if (line.kind == Kind::Section)
            section = line.name;
        if (line.kind != Kind::Key)
            continue;
        check(doc.get(section, line.name) == valueOf(lines, section, line.name));
        if (++keys == 16)
            break;
    }
}

constexpr std::array<std::string_view, 6> kCommKeys{"Port",   "Baud Rate", "Data Bits",
                                                    "Parity", "Stop Bits", "Flow"};
constexpr std::array<std::string_view, 13> kParamKeys{
    "Code30",      "Code31",   "Code51",   "Code52",   "Code53",   "Code54", "Code61",
    "CheckCode72", "Code62_1", "Code62_2", "Code63_1", "Code63_2", "Code72"};
constexpr std::array<std::string_view, 2> kPortKeys{"COM1", "COM2"};
constexpr std::string_view kPortSection = "RS232C Devices";
constexpr std::array<SettingsSection, 2> kSections{SettingsSection::Default, SettingsSection::User};

std::array<std::int32_t*, 6> fields(CommSettings& s) {
    return {&s.Port, &s.BaudRate, &s.DataBits, &s.Parity, &s.StopBits, &s.Flow};
}

std::array<std::int32_t*, 8> decimalFields(ProtocolParameters& p) {
    return {&p.Code30, &p.Code31, &p.Code51, &p.Code52,
            &p.Code53, &p.Code54, &p.Code61, &p.CheckCode72};
}

std::array<std::int32_t*, 4> hexFields(ProtocolParameters& p) {
    return {&p.Code62_1, &p.Code62_2, &p.Code63_1, &p.Code63_2};
}

// A missing key gives the built-in value, whatever the record held.
CommSettings loadComm(const std::string& file, const Lines& lines, SettingsSection section) {
    CommSettings loaded{-7, -7, -7, -7, -7, -7};
    check(LoadCommSettings(loaded, section, file));
    CommSettings builtIn;
    const auto got = fields(loaded);
    const auto fallback = fields(builtIn);
    for (std::size_t i = 0; i < kCommKeys.size(); ++i) {
        const auto value = valueOf(lines, commSectionName(section), kCommKeys[i]);
        const auto number = value ? readDecimal(*value) : std::nullopt;
        check(*got[i] == number.value_or(*fallback[i]));
    }
    return loaded;
}

// A missing key, or one without a number, keeps what the record held.
ProtocolParameters loadParams(const std::string& file, const Lines& lines,
                              SettingsSection section) {
    ProtocolParameters prior;
    for (std::int32_t* field : decimalFields(prior))
        *field = -3;
    for (std::int32_t* field : hexFields(prior))
        *field = 0x5A5A5A;
    prior.Code72 = 0xA5A5A5A5;
    ProtocolParameters loaded = prior;
    check(LoadProtocolParameters(loaded, section, file));
    const auto name = paramSectionName(section);
    const auto decimals = decimalFields(loaded);
    const auto decimalsBefore = decimalFields(prior);
    for (std::size_t i = 0; i < decimals.size(); ++i) {
        const auto value = valueOf(lines, name, kParamKeys[i]);
        const auto number = value ? readDecimal(*value) : std::nullopt;
        check(*decimals[i] == number.value_or(*decimalsBefore[i]));
    }
    // The hexadecimal values are read as their first 49 characters.
    const auto hexScan = [&](std::string_view key) {
        const auto value = valueOf(lines, name, key);
        return value ? scanHex(std::string_view(*value).substr(0, 49)) : std::nullopt;
    };
    const auto hexes = hexFields(loaded);
    const auto hexesBefore = hexFields(prior);
    for (std::size_t i = 0; i < hexes.size(); ++i) {
        const auto number = hexScan(kParamKeys[decimals.size() + i]);
        check(*hexes[i] == (number ? static_cast<std::int32_t>(*number) : *hexesBefore[i]));
    }
    check(loaded.Code72 == hexScan("Code72").value_or(prior.Code72));
    return loaded;
}

// An empty or missing path gives the built-in one. A path is one line of the file.
PortDevices loadPorts(const std::string& file, const Lines& lines) {
    PortDevices loaded{"stale", "stale"};
    check(LoadPortDevices(loaded, file));
    const PortDevices builtIn;
    for (int port : {1, 2}) {
        const auto value = valueOf(lines, kPortSection, kPortKeys[port - 1]);
        const std::string& path = loaded.pathFor(port);
        check(path == (value && !value->empty() ? *value : builtIn.pathFor(port)));
        check(path.find('\n') == std::string::npos);
    }
    return loaded;
}

bool inList(std::size_t size, std::int32_t position) {
    return position >= 0 && static_cast<std::size_t>(position) < size;
}

// Whatever was loaded, a download gets physical values from the lists or their fallbacks.
void inForce(const CommSettings& comm, const ProtocolParameters& params) {
    DownloadContext ctx;
    check(RS232CDataSet(comm, &ctx) && ParameterDataSet(params, &ctx));
    check(ctx.portNumber == (comm.Port == 1 ? 2 : 1));
    if (inList(kBaudRateList.size(), comm.BaudRate))
        check(std::to_string(ctx.baudRate) ==
              kBaudRateList[static_cast<std::size_t>(comm.BaudRate)]);
    else
        check(ctx.baudRate == 57600);
    check(ctx.dataBits == (inList(kDataBitsList.size(), comm.DataBits) ? 5 + comm.DataBits : 8));
    check(ctx.parity <= 2 && (ctx.parity == 0) == !(comm.Parity == 1 || comm.Parity == 2));
    check(ctx.stopBits <= 2 && (ctx.stopBits == 0) == !(comm.StopBits == 1 || comm.StopBits == 2));
    check(ctx.flowControl == (comm.Flow & 7));
    check(ctx.sectorSizeCode ==
          (inList(kSectorSizeList.size(), params.Code61) ? params.Code61 + 1 : 4));
}

struct Loaded {
    std::array<CommSettings, 2> comm;
    std::array<ProtocolParameters, 2> params;
    PortDevices ports;

    friend bool operator==(const Loaded& a, const Loaded& b) {
        return a.comm == b.comm && a.params == b.params && a.ports.com1 == b.ports.com1 &&
               a.ports.com2 == b.ports.com2;
    }
};

// Every group from both sections, checked against the file's text.
Loaded loadAll(const std::string& file, std::string_view text) {
    const Lines lines = linesOf(text);
    Loaded loaded;
    for (std::size_t i = 0; i < kSections.size(); ++i) {
        loaded.comm[i] = loadComm(file, lines, kSections[i]);
        loaded.params[i] = loadParams(file, lines, kSections[i]);
    }
    loaded.ports = loadPorts(file, lines);
    for (std::size_t i = 0; i < kSections.size(); ++i)
        inForce(loaded.comm[i], loaded.params[i]);
    return loaded;
}

// A line kept by a save: the same bytes, or the file's last line given the break it lacked.
bool kept(std::string_view before, std::string_view after) {
    if (before == after)
        return true;
    if (before.ends_with('\n') || !after.starts_with(before))
        return false;
    const std::string_view added = after.substr(before.size());
    return added == "\n" || added == "\r\n";
}

// What a save of `keys` to `section` may change: the values of the first occurrence of each
// key in the first occurrence of the section, in place. Every other line stays, in order; what
// is new is only blank lines, the section's header and the keys.
void onlyKeysRewritten(std::string_view before, std::string_view after, std::string_view section,
                       std::span<const std::string_view> keys) {
    const auto old = linesOf(before);
    const auto now = linesOf(after);
    std::vector<bool> rewritten(old.size(), false);
    for (std::string_view key : keys)
        if (const auto at = keyLine(old, section, key))
            rewritten[*at] = true;
    std::vector<bool> matched(now.size(), false);
    std::size_t next = 0;
    for (std::size_t i = 0; i < old.size(); ++i) {
        const std::string_view raw = old[i].raw;
        const std::string_view upToValue = raw.substr(0, raw.find('=') + 1);
        while (next < now.size() &&
               !(rewritten[i] ? now[next].raw.starts_with(upToValue) : kept(raw, now[next].raw)))
            ++next;
        check(next < now.size());
        matched[next++] = true;
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (matched[i])
            continue;
        const Line& line = now[i];
        bool allowed = line.kind == Kind::Blank ||
                       (line.kind == Kind::Section && sameName(line.name, section));
        for (std::string_view key : keys)
            allowed = allowed || (line.kind == Kind::Key && sameName(line.name, key));
        check(allowed);
    }
}

std::string contentOf(const std::string& file) {
    FileBytes bytes = readWholeFile(file);
    check(bytes.status == FileReadStatus::Read);
    return std::move(bytes.bytes);
}

std::size_t slot(SettingsSection section) {
    return section == SettingsSection::User ? 1 : 0;
}

// One group's values from one section saved into another: only the group's keys in that
// section change, saving them again changes nothing, and every group then loads as expected.
void saveComm(const std::string& file, Loaded& state, SettingsSection from, SettingsSection to) {
    const std::string before = contentOf(file);
    const CommSettings values = state.comm[slot(from)];
    check(SaveCommSettings(values, to, file));
    const std::string after = contentOf(file);
    onlyKeysRewritten(before, after, commSectionName(to), kCommKeys);
    check(SaveCommSettings(values, to, file) && contentOf(file) == after);
    state.comm[slot(to)] = values;
    check(loadAll(file, after) == state);
}

void saveParams(const std::string& file, Loaded& state, SettingsSection from, SettingsSection to) {
    const std::string before = contentOf(file);
    const ProtocolParameters values = state.params[slot(from)];
    check(SaveProtocolParameters(values, to, file));
    const std::string after = contentOf(file);
    onlyKeysRewritten(before, after, paramSectionName(to), kParamKeys);
    check(SaveProtocolParameters(values, to, file) && contentOf(file) == after);
    state.params[slot(to)] = values;
    check(loadAll(file, after) == state);
}

// Saving the paths just loaded: stored and read back as they are, or refused with the file
// left as it was.
void savePorts(const std::string& file, const Loaded& state) {
    const std::string before = contentOf(file);
    const bool saved = SavePortDevices(state.ports, file);
    const std::string after = contentOf(file);
    if (!saved) {
        check(after == before);
        return;
    }
    onlyKeysRewritten(before, after, kPortSection, kPortKeys);
    check(SavePortDevices(state.ports, file) && contentOf(file) == after);
    check(loadAll(file, after) == state);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxSettingsFileSize)
        return 0;
    const std::string file = folder().path() + "/PexoUDef.INI";
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check(replaceWholeFile(file, input));
    check(contentOf(file) == input);

    check(readProfile(file).text() == input);
    readerAgrees(input);

    Loaded state = loadAll(file, input);
    // As a dialog's Default Save after loading the user section, or OK after Default Load:
    // one section's values into the other, the direction picked by the input.
    constexpr auto kUser = SettingsSection::User;
    constexpr auto kDefault = SettingsSection::Default;
    const bool toUser = size % 2 == 0;
    saveComm(file, state, toUser ? kDefault : kUser, toUser ? kUser : kDefault);
    saveParams(file, state, toUser ? kUser : kDefault, toUser ? kDefault : kUser);
    savePorts(file, state);

    check(::unlink(file.c_str()) == 0);
    // No save leaves a temporary behind.
    check(folder().empty());
    return 0;
}
