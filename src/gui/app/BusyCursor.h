#pragma once

namespace pexo::gui {

// The hourglass while the settings file is read or written, restored on every way out.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace pexo::gui
