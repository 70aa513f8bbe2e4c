#include "archiver/CommandLine.h"

#include <vector>

namespace pexo::archiver {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits at blanks; returns nothing when a quote is left open.
std::optional<std::vector<Token>> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            return tokens;
        Token token;
        if (line[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\'))
                    token.text.push_back(line[i++]);
                else
                    token.text.push_back(c);
            }
            // A closing quote must end the token: "a"b is ambiguous and refused.
            if (!closed || (i < line.size() && !isBlank(line[i])))
                return std::nullopt;
        } else {
            while (i < line.size() && !isBlank(line[i]))
                token.text.push_back(line[i++]);
        }
        tokens.push_back(std::move(token));
    }
}

bool acceptedSwitches(std::string_view text) {
    if (text.size() < 2)
        return false;
    for (char c : text.substr(1)) {
        if (c != 'n' && c != 'y' && c != 'c')
            return false;
    }
    return true;
}

} // namespace

std::optional<ExtractCommand> parseCommandLine(std::string_view line) {
    auto tokens = tokenize(line);
    if (!tokens || tokens->empty())
        return std::nullopt;
    auto& list = *tokens;
    if (list[0].quoted || list[0].text != "e")
        return std::nullopt;
    std::size_t next = 1;
    while (next < list.size() && !list[next].quoted && list[next].text.starts_with("-")) {
        if (!acceptedSwitches(list[next].text))
            return std::nullopt;
        ++next;
    }
    if (list.size() - next != 2)
        return std::nullopt;
    ExtractCommand command{std::move(list[next].text), std::move(list[next + 1].text)};
    if (command.archive.empty() || command.folder.empty())
        return std::nullopt;
    return command;
}

} // namespace pexo::archiver
