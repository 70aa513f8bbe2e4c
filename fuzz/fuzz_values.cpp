// The typed numbers: the settings dialogs' field checks, the settings file's number reading
// and the command line's option values. Whatever is typed, an accepted value lies in its range,
// and a refusal changes nothing it should not.
#include "cli/CliRequest.h"
#include "cli/SettingOverrides.h"
#include "core/settings/ParameterChecks.h"
#include "core/settings/ValueText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace pexo;

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

constexpr ParameterField kHexFields[] = {ParameterField::Code62_1, ParameterField::Code62_2,
                                         ParameterField::Code63_1, ParameterField::Code63_2,
                                         ParameterField::Code72};

void decimalField(FuzzedDataProvider& in) {
    const DecimalRange range{in.ConsumeIntegral<std::int32_t>(), in.ConsumeIntegral<std::int32_t>()};
    std::int32_t value = 0x5A5A5A5A;
    const auto refusal = readIntegerText(in.ConsumeRandomLengthString(64), range, value);
    check(refusal ? value == 0x5A5A5A5A : range.min <= value && value <= range.max);
}

void hexField(FuzzedDataProvider& in) {
    const ParameterField field = in.PickValueInArray(kHexFields);
    std::uint32_t value = 0xA5A5A5A5;
    const auto refusal = readHexText(field, in.ConsumeRandomLengthString(64), value);
    check(!refusal || (value == 0xA5A5A5A5 && refusal->field == field));
}

void fileNumbers(FuzzedDataProvider& in) {
    const std::string text = in.ConsumeRandomLengthString(64);
    (void)scanHex(text);
    (void)readDecimal(text);
}

ParameterInput typedInput(FuzzedDataProvider& in) {
    ParameterInput input;
    for (std::string* text : {&input.Code30, &input.Code31, &input.Code51, &input.Code52,
                              &input.Code53, &input.Code54, &input.Code62_1, &input.Code62_2,
                              &input.Code63_1, &input.Code63_2, &input.Code72})
        *text = in.ConsumeRandomLengthString(16);
    input.Code61 = in.ConsumeIntegralInRange<std::int32_t>(-2, 8);
    input.CheckCode72 = in.ConsumeIntegralInRange<std::int32_t>(0, 1);
    return input;
}

// OK accepts only what the dialog promises: every field in its range, the range in order.
void dialogOk(FuzzedDataProvider& in) {
    ProtocolParameters params;
    if (acceptParameters(typedInput(in), params))
        return;
    for (std::int32_t v : {params.Code31, params.Code51, params.Code52, params.Code53,
                           params.Code54})
        check(1 <= v && v <= 1'800'000);
    check(1 <= params.Code30 && params.Code30 <= 1000);
    check(0 <= params.Code62_1 && params.Code62_1 <= 0xFFFFFF);
    check(1 <= params.Code62_2 && params.Code62_2 <= 0xFFFF);
    check(0 <= params.Code63_1 && params.Code63_1 <= params.Code63_2 &&
          params.Code63_2 <= 0xFFFFFF);
    check(-1 <= params.Code61 && params.Code61 <= 6);
}

// The command line: any words; what is taken passes the same checks as the dialog.
void commandLine(FuzzedDataProvider& in) {
    std::vector<std::string> words{"pexo-cli"};
    const int count = in.ConsumeIntegralInRange(0, 12);
    static const char* const kOptions[] = {
        "--connect-timeout", "--baud",         "--data-bits",      "--parity",
        "--stop-bits",       "--flow",         "--tx-interval",    "--tx-wait",
        "--timeout-write",   "--sector-size",  "--erase-first",    "--erase-sectors",
        "--write-first",     "--write-last",   "--full-checksum",  "--no-full-checksum",
        "--port",            "--settings",     "--quiet",          "--"};
    for (int i = 0; i < count; ++i)
        words.push_back(in.ConsumeBool() ? std::string(in.PickValueInArray(kOptions))
                                         : in.ConsumeRandomLengthString(24));
    std::vector<const char*> argv;
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    auto parsed = cli::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    auto* request = std::get_if<cli::CliRequest>(&parsed);
    if (!request)
        return;
    if (request->connectTimeout) {
        using namespace std::chrono;
        check(*request->connectTimeout > milliseconds(0) &&
              *request->connectTimeout <= duration_cast<milliseconds>(hours(24 * 7)));
    }
    CommSettings comm;
    ProtocolParameters params;
    if (cli::applyOverrides(request->overrides, comm, params))
        return;
    check(1 <= params.Code30 && params.Code30 <= 1000);
    check(0 <= params.Code62_1 && params.Code62_1 <= 0xFFFFFF);
    check(1 <= params.Code62_2 && params.Code62_2 <= 0xFFFF);
    check(0 <= params.Code63_1 && params.Code63_1 <= 0xFFFFFF);
    check(0 <= params.Code63_2 && params.Code63_2 <= 0xFFFFFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
        decimalField(in);
        break;
    case 1:
        hexField(in);
        break;
    case 2:
        fileNumbers(in);
        break;
    case 3:
        dialogOk(in);
        break;
    default:
        commandLine(in);
        break;
    }
    return 0;
}
