#pragma once

namespace pexo {

// Which section of a settings group an operation works on. Any value other than User
// (a cast from a stored or foreign int) picks the default section.
enum class SettingsSection : int {
    Default = 0,
    User = 1,
};

} // namespace pexo
