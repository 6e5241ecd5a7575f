#include <gtest/gtest.h>

#include <FLAC/format.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <clocale>

#include "support/TempDir.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DiagnosticsDialog.h"
#include "ui/qt/LibraryVersions.h"
#include "ui/qt/QtTestEnvironment.h"

namespace quoril {
namespace {

using DialogsTest = test::QtWidgetTest;
using test::onNextModal;

TEST_F(DialogsTest, TheDiagnosticsWindowOpensAtTheEndOfItsTextClosesWithOkEnterOrEscapeAndKeepsAnyBytes) {
    std::string longLog;
    for (int i = 0; i < 200; ++i) {
        longLog += "line " + std::to_string(i) + "\r\n";
    }
    const struct {
        std::function<void(DiagnosticsDialog*)> close;
        std::string text;
    } cases[] = {
        {[](DiagnosticsDialog* d) { QTest::mouseClick(d->okButton(), Qt::LeftButton); }, longLog},
        {[](DiagnosticsDialog* d) { QTest::keyClick(d->textField(), Qt::Key_Return); }, longLog + "last"},
        {[](DiagnosticsDialog* d) { QTest::keyClick(d->textField(), Qt::Key_Escape); }, "short\r\n"}};
    for (const auto& c : cases) {
        DiagnosticsDialog dialog;
        dialog.m_source = "bad \xff\xfe name\r\n\tdetail\r\n" + c.text;
        QString shown;
        int scroll = -1, end = -2;
        onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* d) {
            shown = d->textField()->toPlainText();
            scroll = d->textField()->verticalScrollBar()->value();
            end = d->textField()->verticalScrollBar()->maximum();
            c.close(d);
        });
        dialog.exec();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(shown.startsWith(QStringLiteral("bad "))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral(" name\n\tdetail\n"))) << shown.toStdString();
        EXPECT_EQ(scroll, end);
        EXPECT_EQ(end > 0, c.text != "short\r\n");
    }
}

TEST_F(DialogsTest, TheAboutWindowNamesTheProductAndTheLibrariesInUse) {
    AboutDialog about("");
    const QStringList lines = about.text().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("Quoril ") + QStringLiteral(QUORIL_VERSION));
    EXPECT_TRUE(lines.contains(QStringLiteral("libFLAC ") + QString::fromLatin1(FLAC__VERSION_STRING)));
    EXPECT_TRUE(lines.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    // The resampler's own version text, without its copyright note; a broken private copy of the
    // library gives way to the system's.
    const std::string version = samplerateVersion("");
    EXPECT_TRUE(lines.contains(QString::fromStdString(version)));
    EXPECT_EQ(version.rfind("libsamplerate-", 0), 0u) << version;
    EXPECT_EQ(version.find('('), std::string::npos) << version;
    test::TempDir install;
    install.write("libsamplerate.so.0", "this is not a shared library");
    EXPECT_EQ(samplerateVersion(install.path()), version);
}

TEST_F(DialogsTest, NumbersAreFormattedWithADecimalPointAfterQtStarted) {
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

}  // namespace
}  // namespace quoril
