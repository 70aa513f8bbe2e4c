#include "core/protocol/DownloadContext.h"
#include "core/protocol/ResultCode.h"
#include "gui/download/CUDownloadEndDialog.h"
#include "gui/download/CUDownloadErrorDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using pexo::DownloadContext;
using pexo::gui::CUDownloadEndDialog;
using pexo::gui::CUDownloadErrorDialog;
using pexo::gui::ResultDialog;

namespace {

QStringList lines(const ResultDialog& dialog) {
    return {dialog.line(0)->text(), dialog.line(1)->text(), dialog.line(2)->text()};
}

void storeReply(DownloadContext& ctx, std::initializer_list<std::uint8_t> bytes) {
    std::size_t i = 0;
    for (std::uint8_t b : bytes)
        ctx.replyBytes[i++] = b;
    ctx.replyLength = static_cast<std::int32_t>(bytes.size());
}

} // namespace

class ResultDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void normalEndShowsTheTimeAndBothChecksums();
    void normalEndWithTheFullChecksumShowsTheComparedValue();
    void errorEndShowsTheCauseAndTheBytesReceived_data();
    void errorEndShowsTheCauseAndTheBytesReceived();
    void deviceAndSystemTextsAreNeverTakenForMarkup();
    void withoutAContextOnlyTheFixedTextsShow();
    void doneAndEnterEndWithOneEscapeAndTheCloseBoxWithTwo();
    void openingPlaysTwoSoundsOnlyOnce();
};

void ResultDialogsTest::normalEndShowsTheTimeAndBothChecksums() {
    DownloadContext ctx;
    ctx.elapsedSeconds = 3725;
    ctx.pcChecksum = 0x0012ABCD;
    ctx.deviceChecksum = 0x0012ABCD;
    ctx.deviceFullChecksum = 0xDEADBEEF; // not asked for: must not show
    CUDownloadEndDialog dialog(&ctx);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Download status"));
    QCOMPARE(dialog.doneButton()->text(), QStringLiteral("Done(ESC)"));
    QVERIFY(dialog.doneButton()->isDefault());
    QCOMPARE(dialog.infoGroup()->title(), QStringLiteral("Info."));
    QCOMPARE(dialog.timeLabel()->text(), QStringLiteral("Total time : 01:02:05"));
    QCOMPARE(lines(dialog),
             (QStringList{QStringLiteral("normal end."),
                          QStringLiteral(" PC Side Write Data Checksum : 0x0012ABCD"),
                          QStringLiteral(" Checksum RX[0x86] data:0x00,0x12,0xAB,0xCD")}));
    QVERIFY(dialog.pictureLabel()->pixmap().width() > 0);
}

void ResultDialogsTest::normalEndWithTheFullChecksumShowsTheComparedValue() {
    DownloadContext ctx;
    ctx.fullChecksumEnabled = true;
    ctx.elapsedSeconds = 360000; // 100 hours: the hours are not wrapped
    ctx.deviceChecksum = 0x11111111;
    ctx.deviceFullChecksum = 0xFEDC0A0B;
    CUDownloadEndDialog dialog(&ctx);
    QCOMPARE(dialog.timeLabel()->text(), QStringLiteral("Total time : 100:00:00"));
    QCOMPARE(dialog.line(2)->text(), QStringLiteral(" Checksum RX[0x86] data:0xFE,0xDC,0x0A,0x0B"));
}

void ResultDialogsTest::errorEndShowsTheCauseAndTheBytesReceived_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("detail");
    QTest::newRow("sector-size time-out") << 1 << "RX[0x84] timeout : Option code 52"
                                          << "";
    QTest::newRow("checksum time-out") << 4 << "RX[0x86] timeout : Option code 54"
                                       << "";
    QTest::newRow("erase error") << 6 << "Erase Error."
                                 << " RX[0x88] data:0x01";
    QTest::newRow("file length") << 8 << "File Length Error : Option Code 63."
                                 << " File Length:0x0010FE.";
    QTest::newRow("protocol error") << 9 << "Protocol Error."
                                    << " RX:0x88 0x01 ";
    QTest::newRow("serial error") << 10 << "RS232C Error."
                                  << " Write Timeout: Total of 7 bytes sent";
    QTest::newRow("full checksum") << 11 << "Checksum error occured. Code 72."
                                   << " RX[0x86] data:0x01,0x02,0x03,0x04";
    QTest::newRow("no known cause") << 42 << ""
                                    << "";
}

void ResultDialogsTest::errorEndShowsTheCauseAndTheBytesReceived() {
    QFETCH(int, code);
    QFETCH(QString, error);
    QFETCH(QString, detail);
    DownloadContext ctx;
    ctx.resultCode = code;
    ctx.elapsedSeconds = 61;
    storeReply(ctx, {0x88, 0x01});
    ctx.setCommErrorText("Write Timeout: Total of 7 bytes sent");
    ctx.deviceFullChecksum = 0x01020304;
    CUDownloadErrorDialog dialog(&ctx, 0x10FE);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Download status"));
    QCOMPARE(dialog.infoGroup()->title(), QStringLiteral("Error Info."));
    QCOMPARE(dialog.timeLabel()->text(), QStringLiteral("stop time : 00:01:01"));
    QCOMPARE(lines(dialog), (QStringList{error, detail, QString()}));
}

void ResultDialogsTest::deviceAndSystemTextsAreNeverTakenForMarkup() {
    DownloadContext ctx;
    ctx.resultCode = 10;
    ctx.setCommErrorText("<b>Input/output error</b>");
    CUDownloadErrorDialog dialog(&ctx, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.line(1)->textFormat(), Qt::PlainText);
    // Drawn as markup the label would be narrower than its literal text.
    const QFontMetrics metrics(dialog.line(1)->font());
    QVERIFY(dialog.line(1)->sizeHint().width() >=
            metrics.horizontalAdvance(QStringLiteral(" <b>Input/output error</b>")));
}

void ResultDialogsTest::withoutAContextOnlyTheFixedTextsShow() {
    CUDownloadEndDialog end(nullptr);
    QCOMPARE(lines(end), (QStringList{QStringLiteral("normal end."), QString(), QString()}));
    QVERIFY(end.timeLabel()->text().isEmpty());
    CUDownloadErrorDialog error(nullptr, 0x1234);
    QCOMPARE(lines(error), (QStringList{QString(), QString(), QString()}));
    QVERIFY(error.timeLabel()->text().isEmpty());
    QCOMPARE(error.infoGroup()->title(), QStringLiteral("Error Info."));
    QVERIFY(error.pictureLabel()->pixmap().toImage() != end.pictureLabel()->pixmap().toImage());
}

void ResultDialogsTest::doneAndEnterEndWithOneEscapeAndTheCloseBoxWithTwo() {
    DownloadContext ctx;
    auto run = [&](auto&& finish) {
        CUDownloadErrorDialog dialog(&ctx, 0);
        dialog.setSoundPlayer(nullptr);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            return -1;
        finish(dialog);
        return dialog.isVisible() ? -2 : dialog.result();
    };
    QCOMPARE(run([](ResultDialog& d) { d.doneButton()->click(); }), ResultDialog::kDone);
    QCOMPARE(run([](ResultDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }),
             ResultDialog::kDone);
    QCOMPARE(run([](ResultDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }),
             ResultDialog::kClosed);
    QCOMPARE(run([](ResultDialog& d) { d.close(); }), ResultDialog::kClosed);
}

void ResultDialogsTest::openingPlaysTwoSoundsOnlyOnce() {
    DownloadContext ctx;
    CUDownloadEndDialog dialog(&ctx);
    int sounds = 0;
    dialog.setSoundPlayer([&] { ++sounds; });
    QCOMPARE(sounds, 0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(sounds, 2);
    dialog.hide();
    dialog.show();
    QCOMPARE(sounds, 2);
}

QTEST_MAIN(ResultDialogsTest)
#include "ResultDialogsTest.moc"
