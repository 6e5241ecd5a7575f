#include "ui/qt/DiagnosticsDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "ui/qt/DialogUnits.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/QtText.h"

namespace quoril {

DiagnosticsDialog::DiagnosticsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ravek Diagnostics"));
    setWindowIcon(pictureIcon(128));

    // Children in tab order: the text, then OK.
    m_field = new QPlainTextEdit(this);
    m_field->setObjectName(QStringLiteral("diagnosticsText"));
    m_field->setProperty("controlId", kTextId);
    m_field->setReadOnly(true);
    m_field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_field->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_ok->setProperty("controlId", kOkId);
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    const DialogUnits du(font());
    m_field->setGeometry(du.rect(0, 0, 329, 221));
    m_ok->setGeometry(du.rect(279, 223, 50, 14));
    setFixedSize(du.x(330), du.y(239));
}

int DiagnosticsDialog::exec() {
    m_text = m_source;
    m_field->setPlainText(fromCrLfText(m_text));
    m_ok->setFocus();
    return QDialog::exec();
}

void DiagnosticsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The newest lines, where the reason for a failure is, are at the end: the window opens there.
    m_field->moveCursor(QTextCursor::End);
    m_field->ensureCursorVisible();
    m_field->verticalScrollBar()->setValue(m_field->verticalScrollBar()->maximum());
}

}  // namespace quoril
