#include "ui/qt/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/Pictures.h"
#include "ui/qt/QtText.h"

namespace quoril {

AboutDialog::AboutDialog(const std::string& installDir, QWidget* parent)
    : QDialog(parent), m_versions(LibraryVersions::collect(installDir)) {
    setWindowTitle(QStringLiteral("About Quoril"));
    setWindowIcon(pictureIcon(128));

    auto* picture = new QLabel(this);
    picture->setPixmap(picturePixmap(128, 64));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_lines = {QStringLiteral("Quoril %1").arg(QStringLiteral(QUORIL_VERSION)),
               QStringLiteral("Plays whole discs from memory, bit-perfect."),
               QString(),
               QStringLiteral("libFLAC %1").arg(fromText(m_versions.flac)),
               fromText(m_versions.samplerate),
               QStringLiteral("Qt %1").arg(fromText(m_versions.qt))};
    QStringList shown;
    for (const QString& line : m_lines) {
        shown << line.toHtmlEscaped();
    }
    shown.first() = QStringLiteral("<b>%1</b>").arg(shown.first());
    m_text = new QLabel(shown.join(QStringLiteral("<br>")), this);
    m_text->setObjectName(QStringLiteral("aboutText"));
    m_text->setTextFormat(Qt::RichText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutDialog::text() const {
    return m_lines.join(QLatin1Char('\n'));
}

}  // namespace quoril
