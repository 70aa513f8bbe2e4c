#include "gui/app/ArchiveArgument.h"

namespace pexo::gui {

QString archiveArgument(const QStringList& arguments) {
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument.isEmpty())
            continue;
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')))
            continue;
        return argument;
    }
    return {};
}

} // namespace pexo::gui
