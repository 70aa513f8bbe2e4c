#pragma once

#include <QDialog>
#include <QPixmap>
#include <array>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace pexo::gui {

// What the two "Download status" dialogs share: the picture, the time line, "Done(ESC)" and a
// group of three lines. Opening plays two sounds. "Done(ESC)" and Enter end it with 1,
// Escape and the close box with 2; nobody looks at the result.
class ResultDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDone = 1;
    static constexpr int kClosed = 2;

    QLabel* pictureLabel() const { return m_picture; }
    QLabel* timeLabel() const { return m_time; }
    QPushButton* doneButton() const { return m_done; }
    QGroupBox* infoGroup() const { return m_group; }
    // Line 0 to 2 of the group, top to bottom.
    QLabel* line(int index) const { return m_lines.at(static_cast<std::size_t>(index)); }

    // What plays the two opening sounds; the platform's beep unless replaced (before show).
    void setSoundPlayer(std::function<void()> play) { m_playSound = std::move(play); }

public slots:
    void reject() override;

protected:
    ResultDialog(const QPixmap& picture, Qt::Alignment timeAlignment, const QString& groupTitle,
                 QWidget* parent);
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_picture;
    QLabel* m_time;
    QPushButton* m_done;
    QGroupBox* m_group;
    std::array<QLabel*, 3> m_lines{};
    std::function<void()> m_playSound;
    bool m_soundsPlayed = false;
};

} // namespace pexo::gui
