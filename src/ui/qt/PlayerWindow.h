#pragma once

#include <QDialog>
#include <QMenu>
#include <map>
#include <memory>

#include "ui/PlayerView.h"

class QLineEdit;
class QListWidget;
class QProgressBar;
class QSocketNotifier;
class QPushButton;
class QTimer;

namespace quoril {

// The player window in Qt widgets: a resizable dialog with the track list, the row of picture
// buttons and the two read-only fields along the bottom, a progress bar for the RAM load and the
// one-second timer. It only shows what the window logic tells it and hands the user's clicks and
// keys back to that logic (PlayerController); it decides nothing itself.
// Every member runs on the window thread (the QApplication's thread).
class PlayerWindow : public QDialog, public PlayerView {
    Q_OBJECT

  public:
    explicit PlayerWindow(QWidget* parent = nullptr);
    ~PlayerWindow() override;

    // PlayerView
    int runModal(PlayerController& controller) override;
    void closeWindow(int result) override;
    void setTitle(const std::string& title) override;
    void setWaitCursor(bool on) override;
    void flashCaption() override;
    void pause(int ms) override;
    void showMessageBox(const std::string& text, const std::string& caption) override;
    void showDiagnostics(const std::string& text) override;
    void showErrorBox(const std::string& text) override;
    bool chooseFile(int& filterIndex, std::string& path) override;
    std::unique_ptr<SettingsView> createSettingsView() override;
    void clearTrackList() override;
    void addTrackRow(const std::string& line, bool cut) override;
    void selectTrackRow(int row) override;
    int selectedTrackRow() const override;
    void focusTrackList() override;
    void restoreWindowSize(int width, int height) override;
    void showFields(const std::string& trackTime, const std::string& volume) override;
    void setProgressRange(int64_t maximum) override;
    void setProgressPosition(int64_t position) override;
    void setProgressVisible(bool visible) override;
    void focusProgress() override;
    void enableControl(int controlId, bool enabled) override;
    void setButtonPicture(int controlId, int picture) override;
    void startTimer(int timerId, int periodMs) override;
    void killTimer(int timerId) override;
    void watchSource(CommandSource* source) override;
    void raiseWindow() override;

    // The widget that carries a PlayerControl id (nullptr for an unknown id). For tests and for
    // the window's own wiring.
    QWidget* control(int controlId) const;
    // The picture number a button shows now (0 for none).
    int buttonPicture(int controlId) const;
    // The window menu that the context menu shows ("&About Quoril..." after a separator).
    QMenu* windowMenu() const { return m_windowMenu.get(); }
    // The file-open filters, in order.
    static QStringList fileFilters();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  public slots:
    // Escape and the close box end up here; the logic decides whether the window closes.
    void reject() override;
    void accept() override;

  private:
    QPushButton* addButton(int controlId, const QString& caption, int picture);
    void command(int controlId);
    // Places the controls for the window's current size.
    void layOut();
    bool trackListKey(QKeyEvent* event);

    PlayerController* m_controller = nullptr;  // set for the modal run
    bool m_closing = false;                    // closeWindow was called
    bool m_waitCursor = false;
    int m_progressShift = 0;
    int m_listBottomMargin = 0;   // pixels under the list: the bottom row
    bool m_rememberSize = false;  // resizing updates the settings record  // the progress range is scaled
                                  // down by this many bits to fit an int

    QListWidget* m_trackList;
    QLineEdit* m_trackTime;
    QLineEdit* m_volume;
    QProgressBar* m_progress;
    std::map<int, QWidget*> m_controls;
    std::map<int, int> m_pictures;  // button id -> picture number shown
    std::map<int, QTimer*> m_timers;
    std::unique_ptr<QMenu> m_windowMenu;
    QSocketNotifier* m_sourceNotifier = nullptr;  // the watched CommandSource's descriptor
};

}  // namespace quoril
