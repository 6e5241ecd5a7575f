#include "AlsaControlPanel.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

#include "AlsaDeviceList.h"
#include "AlsaSettings.h"

namespace quoril {

namespace {

// The plug-in links Qt because the player that loads it already has, so this costs nothing;
// but it only opens a window when the host has one to parent it to.
bool hostHasWindow() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return false;
    }
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void runDialog(const std::vector<AlsaDevice>& devices, const std::string& current) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Quoril ALSA"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("ALSA playback device (used from the next session on):")));

    auto* list = new QListWidget;
    for (const AlsaDevice& device : devices) {
        QString text = QString::fromStdString(device.name);
        if (!device.description.empty()) {
            text += QStringLiteral("  \u2014  ") + QString::fromStdString(device.description);
        }
        auto* item = new QListWidgetItem(text, list);
        item->setData(Qt::UserRole, QString::fromStdString(device.name));
        if (device.name == current) {
            list->setCurrentItem(item);
        }
    }
    list->setMinimumWidth(520);
    layout->addWidget(list);

    auto* name = new QLineEdit(QString::fromStdString(current));
    layout->addWidget(name);
    QObject::connect(list, &QListWidget::currentItemChanged, name, [name](QListWidgetItem* item) {
        if (item != nullptr) {
            name->setText(item->data(Qt::UserRole).toString());
        }
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const std::string chosen = name->text().trimmed().toStdString();
    if (chosen.empty() || chosen == current) {
        return;
    }
    std::string error;
    if (!AlsaSettings::saveDevice(chosen, error)) {
        QMessageBox::warning(&dialog, QStringLiteral("Quoril ALSA"), QString::fromStdString(error));
    }
}

}  // namespace

void showAlsaControlPanel() {
    const std::vector<AlsaDevice> devices = listAlsaPlaybackDevices();
    const std::string current = AlsaSettings::load().device;
    if (hostHasWindow()) {
        runDialog(devices, current);
        return;
    }
    std::fputs(formatAlsaDeviceList(devices, current).c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace quoril
