#include "core/serial/PortFailure.h"

#include <system_error>
#include <utility>

namespace pexo {

int portFailure(std::string* failure, std::string text) {
    if (failure)
        *failure = std::move(text);
    return 0;
}

int portFailure(std::string* failure, std::string_view what, int err) {
    // generic_category's wording is thread-safe, unlike strerror's.
    return portFailure(failure,
                       std::string(what) + ": " + std::generic_category().message(err));
}

} // namespace pexo
