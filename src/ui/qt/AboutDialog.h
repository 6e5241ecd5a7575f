#pragma once

#include <QDialog>
#include <string>

#include "ui/qt/LibraryVersions.h"

class QLabel;
class QPushButton;

namespace quoril {

// The About window, opened from the settings window: the product, its version and the versions
// of libFLAC, libsamplerate and Qt that the running player uses. Created and run on the window
// thread.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    // installDir is where a private libsamplerate.so.0 would be found (the settings' installation
    // directory); empty looks at the system's copy only.
    explicit AboutDialog(const std::string& installDir, QWidget* parent = nullptr);

    const LibraryVersions& versions() const { return m_versions; }
    // The lines the window shows, one per line.
    QString text() const;
    QPushButton* okButton() const { return m_ok; }

  private:
    LibraryVersions m_versions;
    QStringList m_lines;
    QLabel* m_text;
    QPushButton* m_ok;
};

}  // namespace quoril
