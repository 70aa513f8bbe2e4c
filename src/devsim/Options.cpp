#include "devsim/Options.h"

#include <array>

namespace pexo::devsim {
namespace {

constexpr std::array<std::string_view, 5> kStepNames = {"connect", "sector", "erase", "write",
                                                        "checksum"};

} // namespace

std::string_view stepName(Step step) {
    return kStepNames[static_cast<std::size_t>(step)];
}

std::optional<Step> parseStep(std::string_view name) {
    for (std::size_t i = 0; i < kStepNames.size(); ++i)
        if (kStepNames[i] == name)
            return static_cast<Step>(i);
    return std::nullopt;
}

} // namespace pexo::devsim
