#include "gui/download/CUDownloadEndDialog.h"

#include "core/protocol/ResultTexts.h"
#include "gui/download/DownloadTexts.h"
#include "gui/download/ResultPictures.h"

#include <QLabel>

namespace pexo::gui {

CUDownloadEndDialog::CUDownloadEndDialog(const DownloadContext* ctx, QWidget* parent)
    : ResultDialog(normalEndPicture(), Qt::AlignLeft, QString::fromLatin1(texts::kInfo), parent) {
    setObjectName(QStringLiteral("downloadEndDialog"));
    const NormalEndLines lines = normalEndLines(ctx);
    timeLabel()->setText(QString::fromStdString(lines.timeLine));
    line(0)->setText(QString::fromLatin1(texts::kNormalEnd));
    line(1)->setText(QString::fromStdString(lines.pcChecksumLine));
    line(2)->setText(QString::fromStdString(lines.deviceChecksumLine));
}

} // namespace pexo::gui
