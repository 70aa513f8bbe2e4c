#include "gui/image/CPexoView.h"

namespace pexo::gui {

CPexoView::CPexoView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("view"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

} // namespace pexo::gui
