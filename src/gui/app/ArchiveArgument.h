#pragma once

#include <QString>
#include <QStringList>

namespace pexo::gui {

// The one archive path of the command line (the arguments after the program's name): the first
// argument that is not an option; "--" ends the options. Empty when there is none.
QString archiveArgument(const QStringList& arguments);

} // namespace pexo::gui
