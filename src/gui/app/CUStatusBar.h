#pragma once

#include <QRect>
#include <QStatusBar>
#include <QString>
#include <optional>

class QLabel;
class QProgressBar;

namespace pexo::gui {

// The main window's status bar: one message pane over the whole width, and a progress bar that
// is hidden except while an archive is unpacked, when it sits 16 pixels behind the pane's text.
class CUStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kProgressGap = 16;

    explicit CUStatusBar(QWidget* parent = nullptr);

    // The message pane. Painted at once: it changes while the archiver holds the event loop.
    void setMessageText(const QString& text);
    QString messageText() const;

    // Shows the progress bar behind `text` (which also becomes the pane's text), or hides it:
    // position back to 0, bar hidden, pane emptied. A text that leaves no room for the bar
    // keeps it hidden. The bar is not moved when the window is resized afterwards.
    void ShowProgress(const std::optional<QString>& text, bool show);

    // The message pane in status-bar coordinates, right and bottom edges inclusive.
    QRect paneRect() const;
    QProgressBar* progressBar() const { return m_progress; }

private:
    QLabel* m_pane;
    QProgressBar* m_progress;
};

} // namespace pexo::gui
