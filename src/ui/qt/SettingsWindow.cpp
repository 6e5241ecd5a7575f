#include "ui/qt/SettingsWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Settings.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/QtText.h"

namespace quoril {

namespace {

constexpr int kFontPoints = 14;

}  // namespace

GroupRadioButton::GroupRadioButton(const QString& text, std::vector<GroupRadioButton*>& group,
                                   QWidget* parent)
    : QRadioButton(text, parent), m_group(group) {
    setAutoExclusive(false);
    m_group.push_back(this);
}

void GroupRadioButton::nextCheckState() {
    setChecked(true);
    for (GroupRadioButton* other : m_group) {
        if (other != this) {
            other->setChecked(false);
        }
    }
}

SettingsWindow::SettingsWindow(QWidget* parent) : QDialog(parent) {
    using namespace SettingsControl;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Ravek Settings"));
    setWindowIcon(pictureIcon(128));
    QFont windowFont(QStringLiteral("Microsoft Sans Serif"));
    windowFont.setStyleHint(QFont::SansSerif);
    windowFont.setPointSize(kFontPoints);
    setFont(windowFont);

    // The group boxes hold no focus; the controls that do are created in their tab order below.
    m_asioGroup = new QGroupBox(QStringLiteral(" ASIO selection "), this);
    m_playerGroup = new QGroupBox(QStringLiteral(" Player settings "), this);

    QPushButton* ok = addButton(kOK, QStringLiteral("OK"), this);
    ok->setDefault(true);
    QPushButton* cancel = addButton(kCancel, QStringLiteral("Cancel"), this);
    QPushButton* about = addButton(kAbout, QStringLiteral("About"), this);

    auto* driverLabel = new QLabel(QStringLiteral("Driver"), m_asioGroup);
    auto* pairLabel = new QLabel(QStringLiteral("Left / Right"), m_asioGroup);
    auto* rateLabel = new QLabel(QStringLiteral("Rate"), m_playerGroup);
    auto* diagnosticsLabel = new QLabel(QStringLiteral("Diagnostics"), m_playerGroup);

    auto* drivers = new QComboBox(m_asioGroup);
    drivers->setObjectName(QStringLiteral("control%1").arg(kDriverList));
    drivers->setProperty("controlId", kDriverList);
    m_controls[kDriverList] = drivers;
    auto* pairs = new QComboBox(m_asioGroup);
    pairs->setObjectName(QStringLiteral("control%1").arg(kPairList));
    pairs->setProperty("controlId", kPairList);
    m_controls[kPairList] = pairs;
    for (QComboBox* list : {drivers, pairs}) {
        list->setEditable(false);
        list->setInsertPolicy(QComboBox::NoInsert);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(20);
    }
    connect(drivers, &QComboBox::currentIndexChanged, this, [this](int) {
        if (!m_filling && m_controller) {
            m_controller->onDriverSelectionChanged();
        }
    });

    const QString rates[] = {QStringLiteral("44.1"), QStringLiteral("48.0"),  QStringLiteral("88.2"),
                             QStringLiteral("96.0"), QStringLiteral("176.4"), QStringLiteral("192.0")};
    const int rateIds[] = {kRate44100, kRate48000, kRate88200, kRate96000, kRate176400, kRate192000};
    for (int i = 0; i < 6; ++i) {
        addRadio(rateIds[i], rates[i], m_rateGroup, m_playerGroup);
    }
    addRadio(kDiagnosticsYes, QStringLiteral("Yes"), m_diagnosticsGroup, m_playerGroup);
    addRadio(kDiagnosticsNo, QStringLiteral("No"), m_diagnosticsGroup, m_playerGroup);
    QPushButton* asioSettings = addButton(kAsioSettings, QStringLiteral("ASIO Settings"), m_asioGroup);

    auto* playbackLabel = new QLabel(QStringLiteral("Playback"), m_playerGroup);
    playbackLabel->setProperty("controlId", kPlaybackLabel);
    m_controls[kPlaybackLabel] = playbackLabel;
    addRadio(kRepeat, QStringLiteral("Repeat"), m_playbackGroup, m_playerGroup);
    addRadio(kStop, QStringLiteral("Stop"), m_playbackGroup, m_playerGroup);
    addRadio(kRandom, QStringLiteral("Random"), m_playbackGroup, m_playerGroup);
    addRadio(kExit, QStringLiteral("Exit"), m_playbackGroup, m_playerGroup);

    auto* converterLabel = new QLabel(QStringLiteral("Upsampler"), m_playerGroup);
    addRadio(kConverterBest, QStringLiteral("145.68db SNR Best Sinc"), m_converterGroup, m_playerGroup);
    addRadio(kConverterMedium, QStringLiteral("121.33db SNR Best Sinc "), m_converterGroup, m_playerGroup);

    auto* zebLabel = new QLabel(QStringLiteral("zEB"), m_playerGroup);
    auto* aweLabel = new QLabel(QStringLiteral("AWE"), m_playerGroup);
    addRadio(kZebYes, QStringLiteral("Yes"), m_zebGroup, m_playerGroup);
    addRadio(kZebNo, QStringLiteral("No"), m_zebGroup, m_playerGroup);
    addRadio(kAweYes, QStringLiteral("Yes"), m_aweGroup, m_playerGroup);
    addRadio(kAweNo, QStringLiteral("No"), m_aweGroup, m_playerGroup);
    auto* zebNote = new QLabel(QStringLiteral("(disables file browsing)"), m_playerGroup);
    auto* aweNote =
        new QLabel(QStringLiteral("(adv. RAM allocation: lock privilege required)"), m_playerGroup);

    // " ASIO selection ": driver and pair one above the other, the driver's own settings beside.
    auto* asioGrid = new QGridLayout(m_asioGroup);
    asioGrid->addWidget(driverLabel, 0, 0);
    asioGrid->addWidget(drivers, 0, 1);
    asioGrid->addWidget(asioSettings, 0, 2);
    asioGrid->addWidget(pairLabel, 1, 0);
    asioGrid->addWidget(pairs, 1, 1);
    asioGrid->setColumnStretch(1, 1);

    // " Player settings ": one row per choice, the label first.
    auto* grid = new QGridLayout(m_playerGroup);
    grid->addWidget(rateLabel, 0, 0);
    for (int i = 0; i < 6; ++i) {
        grid->addWidget(control(rateIds[i]), 0, 1 + i);
    }
    grid->addWidget(playbackLabel, 1, 0);
    grid->addWidget(control(kRepeat), 1, 1);
    grid->addWidget(control(kStop), 1, 2);
    grid->addWidget(control(kRandom), 1, 3);
    grid->addWidget(control(kExit), 1, 4);
    grid->addWidget(converterLabel, 2, 0);
    grid->addWidget(control(kConverterBest), 2, 1, 1, 3);
    grid->addWidget(control(kConverterMedium), 2, 4, 1, 3);
    grid->addWidget(diagnosticsLabel, 3, 0);
    grid->addWidget(control(kDiagnosticsYes), 3, 1);
    grid->addWidget(control(kDiagnosticsNo), 3, 2);
    grid->addWidget(zebLabel, 4, 0);
    grid->addWidget(control(kZebYes), 4, 1);
    grid->addWidget(control(kZebNo), 4, 2);
    grid->addWidget(zebNote, 4, 3, 1, 4);
    grid->addWidget(aweLabel, 5, 0);
    grid->addWidget(control(kAweYes), 5, 1);
    grid->addWidget(control(kAweNo), 5, 2);
    grid->addWidget(aweNote, 5, 3, 1, 4);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(about);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_asioGroup);
    layout->addWidget(m_playerGroup);
    layout->addLayout(buttons);

    fitToContents();

    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(about, &QPushButton::clicked, this, &SettingsWindow::openAbout);
    connect(asioSettings, &QPushButton::clicked, this, [this] {
        if (m_controller) {
            m_controller->onAsioSettings();
        }
    });
}

QPushButton* SettingsWindow::addButton(int controlId, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QStringLiteral("control%1").arg(controlId));
    button->setProperty("controlId", controlId);
    button->setAutoDefault(false);
    m_controls[controlId] = button;
    return button;
}

GroupRadioButton* SettingsWindow::addRadio(int controlId, const QString& caption,
                                           std::vector<GroupRadioButton*>& group, QWidget* parent) {
    auto* radio = new GroupRadioButton(caption, group, parent);
    radio->setObjectName(QStringLiteral("control%1").arg(controlId));
    radio->setProperty("controlId", controlId);
    m_controls[controlId] = radio;
    return radio;
}

void SettingsWindow::fitToContents() {
    const DialogUnits du(font());
    setFixedSize(QSize(du.x(258), du.y(148)).expandedTo(layout()->sizeHint()));
}

QWidget* SettingsWindow::control(int controlId) const {
    const auto found = m_controls.find(controlId);
    return found == m_controls.end() ? nullptr : found->second;
}

QComboBox* SettingsWindow::combo(int controlId) const {
    return qobject_cast<QComboBox*>(control(controlId));
}

void SettingsWindow::openAbout() {
    AboutDialog about(settings().installPath, this);
    about.exec();
}

int SettingsWindow::runModal(SettingsController& controller) {
    m_controller = &controller;
    m_ended = false;
    // The controls are filled before the window shows, as a dialog's initialisation does; a
    // message box it raises comes first.
    controller.onInitDialog();
    int result = m_endResult;
    if (!m_ended) {
        result = exec();
        if (m_ended) {
            result = m_endResult;
        }
    }
    m_controller = nullptr;
    return result;
}

void SettingsWindow::endDialog(int result) {
    m_ended = true;
    m_endResult = result;
    done(result);
}

void SettingsWindow::hide() {
    QDialog::hide();
}

void SettingsWindow::showMessageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, fromText(caption), fromCrLfText(text), QMessageBox::Ok, this);
    box.exec();
}

void SettingsWindow::enableControl(int controlId, bool enabled) {
    if (QWidget* widget = control(controlId)) {
        widget->setEnabled(enabled);
    }
}

void SettingsWindow::setControlText(int controlId, const std::string& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(controlId))) {
        button->setText(fromText(text));
    } else if (auto* label = qobject_cast<QLabel*>(control(controlId))) {
        label->setText(fromText(text));
    }
    // A driver's name on the "ASIO Settings" button may need a wider window.
    fitToContents();
}

void SettingsWindow::setChecked(int controlId, bool checked) {
    if (auto* radio = qobject_cast<QRadioButton*>(control(controlId))) {
        radio->setChecked(checked);
    }
}

bool SettingsWindow::isChecked(int controlId) const {
    const auto* radio = qobject_cast<const QRadioButton*>(control(controlId));
    return radio && radio->isChecked();
}

void SettingsWindow::clearCombo(int controlId) {
    if (QComboBox* list = combo(controlId)) {
        m_filling = true;
        list->clear();
        m_filling = false;
    }
}

void SettingsWindow::addComboItem(int controlId, const std::string& text) {
    if (QComboBox* list = combo(controlId)) {
        m_filling = true;
        const bool wasEmpty = list->count() == 0;
        list->addItem(fromText(text));
        // A drop-down list starts with nothing selected; Qt would select the first item added.
        if (wasEmpty) {
            list->setCurrentIndex(-1);
        }
        m_filling = false;
    }
}

int SettingsWindow::comboCount(int controlId) const {
    const QComboBox* list = combo(controlId);
    return list ? list->count() : 0;
}

std::string SettingsWindow::comboItemText(int controlId, int index) const {
    const QComboBox* list = combo(controlId);
    if (!list || index < 0 || index >= list->count()) {
        return std::string();
    }
    return toText(list->itemText(index));
}

void SettingsWindow::setComboSelection(int controlId, int index) {
    if (QComboBox* list = combo(controlId)) {
        m_filling = true;
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
        m_filling = false;
    }
}

int SettingsWindow::comboSelection(int controlId) const {
    const QComboBox* list = combo(controlId);
    return list ? list->currentIndex() : -1;
}

void SettingsWindow::accept() {
    if (m_controller) {
        m_controller->onOK();
    }
}

void SettingsWindow::reject() {
    if (m_controller) {
        m_controller->onCancel();
    }
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    if (m_ended || !m_controller) {
        event->accept();
        return;
    }
    event->ignore();
    m_controller->onCancel();
}

}  // namespace quoril
