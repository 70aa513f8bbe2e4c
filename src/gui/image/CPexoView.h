#pragma once

#include <QWidget>

namespace pexo::gui {

// Fills the main window's client area and shows nothing, whatever is loaded.
class CPexoView : public QWidget {
    Q_OBJECT
public:
    explicit CPexoView(QWidget* parent = nullptr);
};

} // namespace pexo::gui
