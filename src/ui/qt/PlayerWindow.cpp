#include "ui/qt/PlayerWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "config/Settings.h"
#include "ui/qt/DiagnosticsDialog.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/QtText.h"
#include "ui/qt/SettingsWindow.h"

namespace quoril {

namespace {

// The window is laid out in dialog units of a 28-point font: the picture buttons are sized so.
constexpr int kFontPoints = 28;
constexpr int kProgressWidth = 500;  // pixels
constexpr int kProgressHeight = 60;
// The widest texts each field shows: the track/time field's eight characters with the
// circumflex of phase 180 and the widest digits, and the phase message; the volume's floor.
const QStringList kWidestTrackTimeTexts = {QStringLiteral("88^88:88"), QStringLiteral("Phs 180")};
const QStringList kWidestVolumeTexts = {QStringLiteral("-100.0"), QStringLiteral("-88.8")};

// The width a line edit leaves for its text, as its own painting computes it.
int textWidth(const QLineEdit* field) {
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->rect();
    option.lineWidth =
        field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QRect contents = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    const QMargins margins = field->textMargins();
    // Two pixels of margin on either side, as a line edit keeps them.
    return contents.width() - margins.left() - margins.right() - 2 * 2;
}

// Makes the field's font small enough that every text it shows fits whole: the field keeps the
// width the layout gives it, whatever the window's font.
void fitFieldFont(QLineEdit* field, const QStringList& texts) {
    QFont font = field->font();
    const int available = textWidth(field);
    for (qreal points = font.pointSizeF(); points > 4; points -= 0.5) {
        font.setPointSizeF(points);
        const QFontMetrics metrics(font);
        bool fits = true;
        for (const QString& text : texts) {
            fits = fits && metrics.horizontalAdvance(text) <= available;
        }
        if (fits) {
            break;
        }
    }
    field->setFont(font);
}

struct TransportButton {
    int id;
    const char* caption;
    int left;
    int picture;  // 0: the button shows its caption
};

}  // namespace

PlayerWindow::PlayerWindow(QWidget* parent) : QDialog(parent), m_windowMenu(std::make_unique<QMenu>()) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Ravek"));
    setWindowIcon(pictureIcon(Picture::kApplication));

    QFont windowFont(QStringLiteral("Microsoft Sans Serif"));
    windowFont.setStyleHint(QFont::SansSerif);
    windowFont.setPointSize(kFontPoints);
    setFont(windowFont);
    const DialogUnits du(windowFont);

    // The controls are created in their tab order; Qt's focus chain follows creation order.
    m_trackList = new QListWidget(this);
    m_trackList->setObjectName(QStringLiteral("trackList"));
    m_trackList->setGeometry(du.rect(0, 0, 151, 98));
    m_trackList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_trackList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_trackList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_trackList->setUniformItemSizes(true);
    // A line wider than the list (wide characters) ends in an ellipsis, never in half a character.
    m_trackList->setTextElideMode(Qt::ElideRight);
    m_trackList->setFocusPolicy(Qt::StrongFocus);
    m_trackList->installEventFilter(this);
    m_controls[PlayerControl::kTrackList] = m_trackList;
    connect(m_trackList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
        if (m_controller) {
            m_controller->onTrackListDoubleClick();
        }
    });

    addButton(PlayerControl::kSettings, QStringLiteral("Settings"), Picture::kApplication)
        ->setGeometry(du.rect(0, 98, 9, 8));

    m_trackTime = new QLineEdit(this);
    m_trackTime->setObjectName(QStringLiteral("trackTime"));
    m_trackTime->setReadOnly(true);
    m_trackTime->setAlignment(Qt::AlignCenter);
    m_trackTime->setGeometry(du.rect(9, 98, 31, 12));
    m_controls[PlayerControl::kTrackTime] = m_trackTime;

    const TransportButton transport[] = {
        {PlayerControl::kFileOpen, "File Open", 40, Picture::kFolder},
        {PlayerControl::kStop, "#", 49, Picture::kStop},
        {PlayerControl::kPrevious, "l<", 58, Picture::kPrevious},
        {PlayerControl::kBack, "<<", 67, Picture::kBack},
        {PlayerControl::kPlay, ">", 76, Picture::kPlay},
        {PlayerControl::kForward, ">>", 85, Picture::kForward},
        {PlayerControl::kNext, ">l", 94, Picture::kNext},
        {PlayerControl::kVolumeDown, "-", 103, Picture::kVolumeDown},
        {PlayerControl::kVolumeUp, "+", 112, Picture::kVolumeUp},
    };
    for (const TransportButton& button : transport) {
        addButton(button.id, QString::fromLatin1(button.caption), button.picture)
            ->setGeometry(du.rect(button.left, 98, 9, 8));
    }
    // The pictures fill most of their buttons.
    const QRect buttonRect = du.rect(0, 98, 9, 8);
    const int pictureSize = std::max(16, std::min(buttonRect.width(), buttonRect.height()) * 3 / 4);
    for (const auto& [id, picture] : m_pictures) {
        static_cast<QPushButton*>(m_controls[id])->setIconSize(QSize(pictureSize, pictureSize));
    }

    m_volume = new QLineEdit(this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setReadOnly(true);
    m_volume->setAlignment(Qt::AlignCenter);
    m_volume->setGeometry(du.rect(121, 98, 21, 12));
    m_controls[PlayerControl::kVolume] = m_volume;

    addButton(PlayerControl::kClose, QStringLiteral("X"), 0)->setGeometry(du.rect(142, 98, 9, 8));

    fitFieldFont(m_trackTime, kWidestTrackTimeTexts);
    fitFieldFont(m_volume, kWidestVolumeTexts);

    // The template's size is the smallest the window gets; it grows from there with the list.
    m_listBottomMargin = du.y(110) - du.y(98);
    setMinimumSize(du.x(151), du.y(110));
    resize(minimumSize());

    // The RAM-load progress bar: 500 x 60 pixels centred on the client area, hidden until a load.
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setTextVisible(false);
    m_progress->setFocusPolicy(Qt::ClickFocus);
    m_progress->setRange(0, 0);
    m_progress->hide();
    layOut();
    m_controls[PlayerControl::kProgress] = m_progress;

    // Linux desktops have no system menu to extend, so its entries live in the context menu.
    m_windowMenu->addSeparator();
    QAction* about = m_windowMenu->addAction(QStringLiteral("&About Quoril..."));
    about->setData(kAboutCommandId);
    connect(about, &QAction::triggered, this, [this] {
        if (m_controller) {
            m_controller->onSysCommand(kAboutCommandId);
        }
    });
}

PlayerWindow::~PlayerWindow() {
    if (m_waitCursor) {
        QApplication::restoreOverrideCursor();
    }
}

QPushButton* PlayerWindow::addButton(int controlId, const QString& caption, int picture) {
    auto* button = new QPushButton(this);
    button->setObjectName(QStringLiteral("button%1").arg(controlId));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setAccessibleName(caption);
    button->setProperty("caption", caption);
    if (picture == 0) {
        button->setText(caption);
    } else {
        // Picture buttons show their picture instead of their text.
        button->setToolTip(caption);
        button->setIcon(pictureIcon(picture));
        m_pictures[controlId] = picture;
    }
    m_controls[controlId] = button;
    connect(button, &QPushButton::clicked, this, [this, controlId] { command(controlId); });
    return button;
}

void PlayerWindow::layOut() {
    // The list takes every pixel above the bottom row; the row keeps its controls' sizes and
    // their places from the left, except "X", which stays in the right corner.
    m_trackList->setGeometry(0, 0, width(), height() - m_listBottomMargin);
    const int rowTop = m_trackList->geometry().bottom() + 1;
    for (const auto& [id, widget] : m_controls) {
        if (id == PlayerControl::kTrackList || id == PlayerControl::kProgress) {
            continue;
        }
        const int left = id == PlayerControl::kClose ? width() - widget->width() : widget->x();
        widget->move(left, rowTop);
    }
    m_progress->setGeometry(width() / 2 - kProgressWidth / 2, height() / 2 - kProgressHeight / 2,
                            kProgressWidth, kProgressHeight);
}

void PlayerWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOut();
    if (m_rememberSize) {
        settings().windowWidth = width();
        settings().windowHeight = height();
    }
}

void PlayerWindow::restoreWindowSize(int width, int height) {
    if (width > 0 && height > 0) {
        resize(std::max(width, minimumWidth()), std::max(height, minimumHeight()));
    }
    m_rememberSize = true;
    settings().windowWidth = this->width();
    settings().windowHeight = this->height();
}

void PlayerWindow::command(int controlId) {
    if (!m_controller) {
        return;
    }
    if (controlId == PlayerControl::kClose) {
        m_controller->onCancel();
    } else {
        m_controller->onCommand(controlId);
    }
}

QWidget* PlayerWindow::control(int controlId) const {
    const auto found = m_controls.find(controlId);
    return found == m_controls.end() ? nullptr : found->second;
}

int PlayerWindow::buttonPicture(int controlId) const {
    const auto found = m_pictures.find(controlId);
    return found == m_pictures.end() ? 0 : found->second;
}

QStringList PlayerWindow::fileFilters() {
    return {QStringLiteral("Cue Files (*.cue)"), QStringLiteral("Wav Files (*.wav)"),
            QStringLiteral("FLAC Files (*.flac)")};
}

int PlayerWindow::runModal(PlayerController& controller) {
    m_controller = &controller;
    m_closing = false;
    // The logic's start-up runs inside the modal loop, so that the windows it opens are owned by
    // a visible player window and closeWindow works from the first moment.
    QTimer::singleShot(0, this, [this] {
        if (m_controller) {
            m_controller->onInitDialog();
        }
    });
    const int result = exec();
    for (auto& [id, timer] : m_timers) {
        timer->stop();
    }
    m_controller = nullptr;
    return result;
}

void PlayerWindow::closeWindow(int result) {
    m_closing = true;
    done(result);
}

void PlayerWindow::setTitle(const std::string& title) {
    setWindowTitle(fromText(title));
}

void PlayerWindow::setWaitCursor(bool on) {
    if (on == m_waitCursor) {
        return;
    }
    m_waitCursor = on;
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void PlayerWindow::flashCaption() {
    QApplication::alert(this, 500);
}

void PlayerWindow::pause(int ms) {
    if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    }
}

void PlayerWindow::showMessageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, fromText(caption), fromCrLfText(text), QMessageBox::Ok, this);
    box.exec();
}

void PlayerWindow::showDiagnostics(const std::string& text) {
    DiagnosticsDialog dialog(this);
    dialog.m_source = text;
    dialog.exec();
}

void PlayerWindow::showErrorBox(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), fromCrLfText(text), QMessageBox::Ok);
    box.exec();
}

bool PlayerWindow::chooseFile(int& filterIndex, std::string& path) {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("fileOpen"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList filters = fileFilters();
    dialog.setNameFilters(filters);
    // An index outside 1..3 opens on the first filter.
    const int start = filterIndex >= 1 && filterIndex <= filters.size() ? filterIndex : 1;
    dialog.selectNameFilter(filters.at(start - 1));
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return false;
    }
    path = toText(chosen.first());
    const int used = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    filterIndex = used >= 0 ? used + 1 : start;
    focusTrackList();
    return true;
}

std::unique_ptr<SettingsView> PlayerWindow::createSettingsView() {
    return std::make_unique<SettingsWindow>(this);
}

void PlayerWindow::clearTrackList() {
    m_trackList->clear();
}

void PlayerWindow::addTrackRow(const std::string& line, bool cut) {
    QString text = fromText(line);
    if (cut && !text.isEmpty()) {
        // The line's last character gives way to an ellipsis. A character outside the basic
        // plane is two UTF-16 units.
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
        text += QChar(0x2026);
    }
    m_trackList->addItem(text);
}

void PlayerWindow::selectTrackRow(int row) {
    if (row < 0 || row >= m_trackList->count()) {
        m_trackList->clearSelection();
        m_trackList->setCurrentRow(-1);
        return;
    }
    m_trackList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    m_trackList->scrollToItem(m_trackList->item(row));
}

int PlayerWindow::selectedTrackRow() const {
    const QList<QListWidgetItem*> selected = m_trackList->selectedItems();
    return selected.isEmpty() ? -1 : m_trackList->row(selected.first());
}

void PlayerWindow::focusTrackList() {
    m_trackList->setFocus(Qt::OtherFocusReason);
}

void PlayerWindow::showFields(const std::string& trackTime, const std::string& volume) {
    m_trackTime->setText(fromText(trackTime));
    m_volume->setText(fromText(volume));
}

void PlayerWindow::setProgressRange(int64_t maximum) {
    // QProgressBar counts in int; a longer disc is shown in coarser steps.
    m_progressShift = 0;
    int64_t scaled = maximum < 0 ? 0 : maximum;
    while (scaled > INT_MAX) {
        scaled >>= 1;
        ++m_progressShift;
    }
    m_progress->setRange(0, static_cast<int>(scaled));
}

void PlayerWindow::setProgressPosition(int64_t position) {
    const int64_t scaled = position < 0 ? 0 : position >> m_progressShift;
    m_progress->setValue(static_cast<int>(std::min<int64_t>(scaled, m_progress->maximum())));
}

void PlayerWindow::setProgressVisible(bool visible) {
    m_progress->setVisible(visible);
    if (visible) {
        m_progress->raise();
    }
}

void PlayerWindow::focusProgress() {
    m_progress->raise();
    m_progress->setFocus(Qt::OtherFocusReason);
}

void PlayerWindow::enableControl(int controlId, bool enabled) {
    if (QWidget* widget = control(controlId)) {
        widget->setEnabled(enabled);
    }
}

void PlayerWindow::setButtonPicture(int controlId, int picture) {
    auto* button = qobject_cast<QPushButton*>(control(controlId));
    if (!button) {
        return;
    }
    button->setIcon(pictureIcon(picture));
    m_pictures[controlId] = picture;
}

void PlayerWindow::startTimer(int timerId, int periodMs) {
    QTimer*& timer = m_timers[timerId];
    if (!timer) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::CoarseTimer);
        connect(timer, &QTimer::timeout, this, [this, timerId] {
            if (m_controller) {
                m_controller->onTimer(timerId);
            }
        });
    }
    timer->start(periodMs);
}

void PlayerWindow::killTimer(int timerId) {
    const auto found = m_timers.find(timerId);
    if (found != m_timers.end()) {
        found->second->stop();
    }
}

void PlayerWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_controller) {
                m_controller->onOK();
            }
            return;
        case Qt::Key_Escape:
            reject();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void PlayerWindow::reject() {
    if (m_controller) {
        m_controller->onCancel();
    }
}

void PlayerWindow::accept() {
    if (m_controller) {
        m_controller->onOK();
    }
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
    if (m_closing || !m_controller) {
        event->accept();
        return;
    }
    // The close box asks the logic, which refuses while a disc is loading.
    event->ignore();
    m_controller->onCancel();
}

void PlayerWindow::contextMenuEvent(QContextMenuEvent* event) {
    m_windowMenu->exec(event->globalPos());
}

bool PlayerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_trackList && event->type() == QEvent::KeyPress) {
        return trackListKey(static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

// Keys of the track list, by their place on a US keyboard: the shifted characters of the bracket,
// semicolon and period keys count as those keys with Shift held.
bool PlayerWindow::trackListKey(QKeyEvent* event) {
    if (!m_controller) {
        return false;
    }
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_controller->onOK();
            return true;
        case Qt::Key_Escape:
            m_controller->onCancel();
            return true;
        default:
            break;
    }
    switch (event->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_AltGr:
            return false;  // a modifier on its own is not a key of the list
        default:
            break;
    }
    ListKey key = ListKey::Other;
    switch (event->key()) {
        case Qt::Key_Home:
            key = ListKey::Home;
            break;
        case Qt::Key_End:
            key = ListKey::End;
            break;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            key = ListKey::LeftBracket;
            break;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            key = ListKey::RightBracket;
            break;
        case Qt::Key_Semicolon:
        case Qt::Key_Colon:
            key = ListKey::Semicolon;
            break;
        case Qt::Key_Period:
        case Qt::Key_Greater:
            // The keypad's decimal key is a different key.
            key = keypad ? ListKey::Other : ListKey::Period;
            break;
        default:
            break;
    }
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    return m_controller->onTrackListKey(key, shift);
}

}  // namespace quoril

namespace quoril {

void PlayerWindow::watchSource(CommandSource* source) {
    if (m_sourceNotifier) {
        // It may be this notifier's own signal that stops the watch.
        m_sourceNotifier->setEnabled(false);
        m_sourceNotifier->deleteLater();
        m_sourceNotifier = nullptr;
    }
    if (source && source->fd() >= 0) {
        m_sourceNotifier = new QSocketNotifier(source->fd(), QSocketNotifier::Read, this);
        connect(m_sourceNotifier, &QSocketNotifier::activated, this, [source] { source->dispatch(); });
    }
}

void PlayerWindow::raiseWindow() {
    show();
    raise();
    activateWindow();
}

}  // namespace quoril
