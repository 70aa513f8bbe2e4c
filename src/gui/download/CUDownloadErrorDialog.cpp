#include "gui/download/CUDownloadErrorDialog.h"

#include "core/protocol/ResultTexts.h"
#include "gui/download/DownloadTexts.h"
#include "gui/download/ResultPictures.h"

#include <QLabel>

namespace pexo::gui {

CUDownloadErrorDialog::CUDownloadErrorDialog(const DownloadContext* ctx, std::uint32_t imageLength,
                                             QWidget* parent)
    : ResultDialog(errorEndPicture(), Qt::AlignHCenter, QString::fromLatin1(texts::kErrorInfo),
                   parent) {
    setObjectName(QStringLiteral("downloadErrorDialog"));
    const ErrorEndLines lines = errorEndLines(ctx, imageLength);
    timeLabel()->setText(QString::fromStdString(lines.timeLine));
    line(0)->setText(QString::fromStdString(lines.errorLine));
    line(1)->setText(QString::fromStdString(lines.detailLine));
    line(2)->setText(QString::fromStdString(lines.thirdLine));
}

} // namespace pexo::gui
