#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace quoril {

// A modal window that shows one diagnostics text in a large read-only field, closed with OK,
// Enter or Escape. Controls: 1000 the text, 1 the OK button (default).
// Created and run on the window thread.
class DiagnosticsDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kTextId = 1000;
    static constexpr int kOkId = 1;

    explicit DiagnosticsDialog(QWidget* parent = nullptr);

    // The text the caller hands in (CR LF lines); exec() copies it into the field.
    std::string m_source;
    // The text bound to the field, as of the last exec().
    std::string m_text;

    int exec() override;

    QPlainTextEdit* textField() const { return m_field; }
    QPushButton* okButton() const { return m_ok; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QPlainTextEdit* m_field;
    QPushButton* m_ok;
};

}  // namespace quoril
