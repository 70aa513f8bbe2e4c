#pragma once

#include <string>
#include <string_view>

namespace pexo {

// Puts `text` in `failure` when the caller wants it; returns 0, the failure result.
int portFailure(std::string* failure, std::string text);
// The same with the system's wording of `err` appended: "<what>: <reason>".
int portFailure(std::string* failure, std::string_view what, int err);

} // namespace pexo
