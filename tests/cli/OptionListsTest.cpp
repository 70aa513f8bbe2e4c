// The options each program takes, as its manual page, the README's synopsis and the bash
// completion list them: a new option must reach all of them.

#include "cli/CliRequest.h"
#include "support/ChildProcess.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

namespace pexo::cli {
namespace {

using namespace std::chrono_literals;
using Options = std::set<std::string>;

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every "--name" in the text; roff writes the hyphens as "\-" and fonts as "\fB".
Options longOptions(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\f[A-Z])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    Options found;
    const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z0-9-]*))");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        found.insert((*it)[2]);
    return found;
}

// The text between the first line that starts with `from` and the next that starts with `to`.
std::string between(const std::string& text, const std::string& from, const std::string& to) {
    const auto start = text.find(from);
    if (start == std::string::npos)
        return {};
    const auto end = text.find(to, start + from.size());
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string helpOf(const std::string& program) {
    test::ChildProcess child(std::string(PEXO_BIN_DIR) + "/" + program, {"--help"});
    if (child.wait(30s) != 0)
        return {};
    return child.standardOutput();
}

TEST(OptionLists, PexoCliIsDocumentedWhereverItsOptionsAreListed) {
    const std::vector<std::string> parsed = commandLineOptions();
    const Options options(parsed.begin(), parsed.end());
    ASSERT_TRUE(options.count("--list-ports") && options.count("--version"));

    EXPECT_EQ(longOptions(slurp(std::string(PEXO_MAN_DIR) + "/pexo-cli.1")), options)
        << "the manual page";
    // The synopsis leaves out what needs no saying there.
    const std::string readme = slurp(std::string(PEXO_SOURCE_DIR) + "/README.md");
    Options synopsis = longOptions(between(readme, "```\npexo-cli ", "\n```"));
    synopsis.insert({"--help", "--version"});
    EXPECT_EQ(synopsis, options) << "README.md's synopsis under Command line";
    const std::string completion =
        slurp(std::string(PEXO_SOURCE_DIR) + "/packaging/completion/pexo-cli");
    EXPECT_EQ(longOptions(between(completion, "if [[ $cur == -* ]]", "return")), options)
        << "the bash completion's option list";
}

TEST(OptionLists, TheOtherProgramsManualPagesListWhatTheirHelpDoes) {
    std::vector<std::string> programs{"pexo-devsim", "pexo-sample-archive"};
#ifdef PEXO_HAVE_GUI
    programs.push_back("pexo");
#endif
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        const Options help = longOptions(helpOf(program));
        EXPECT_TRUE(help.count("--help") && help.count("--version"));
        EXPECT_EQ(longOptions(slurp(std::string(PEXO_MAN_DIR) + "/" + program + ".1")), help);
    }
}

} // namespace
} // namespace pexo::cli
