#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pexo {

// The text of a private-profile (INI) file, read and edited with the platform's profile
// semantics. Lookups ignore the case of section and key names; the first occurrence of a
// repeated section or key is the one that counts, for reading and writing alike.
//
// Edits touch only the bytes they must: a key's value is replaced where it stands, a missing
// key goes after the last line of its section that is neither blank nor a comment (so trailing
// blank lines and comments stay with what follows), a missing section goes to the end. New
// lines take the file's line ending (that of its first line; LF for a file with none). Every
// other byte, including ones that are not UTF-8, stays as it was.
class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string text) : text_(std::move(text)) {}

    const std::string& text() const { return text_; }

    // The value of `key` in `section`, trimmed of blanks, with one pair of matching
    // surrounding quotes removed; empty when the section or key is missing.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;

    // Sets `key` in `section` to `value`. Returns false and changes nothing when a name or the
    // value could not be stored as one line (line breaks, NUL, "=" or "]" in a name, or a
    // name or value with blanks at either end that would not read back), or when the value
    // is in a pair of quotes, which reading would remove.
    bool set(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string text_;
};

} // namespace pexo
