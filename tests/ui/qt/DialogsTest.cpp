#include <gtest/gtest.h>

#include <FLAC/format.h>

#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstring>

#include "support/TempDir.h"
#include "ui/PlayerView.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DiagnosticsDialog.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/LibraryVersions.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/QtTestEnvironment.h"

namespace quoril {
namespace {

using test::onNextModal;

class DialogsTest : public test::QtWidgetTest {
  protected:
};

TEST_F(DialogsTest, DiagnosticsWindowCopiesTheSourceWhenRunAndClosesWithOkEnterOrEscape) {
    const struct {
        const char* name;
        std::function<void(DiagnosticsDialog*)> close;
    } ways[] = {
        {"OK", [](DiagnosticsDialog* d) { QTest::mouseClick(d->okButton(), Qt::LeftButton); }},
        {"Enter", [](DiagnosticsDialog* d) { QTest::keyClick(d->textField(), Qt::Key_Return); }},
        {"Escape", [](DiagnosticsDialog* d) { QTest::keyClick(d->textField(), Qt::Key_Escape); }},
    };
    for (const auto& way : ways) {
        DiagnosticsDialog dialog;
        dialog.m_source = "line one\r\n\tdetail\r\n";
        QString shown;
        onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* d) {
            shown = d->textField()->toPlainText();
            way.close(d);
        });
        dialog.exec();
        EXPECT_FALSE(dialog.isVisible()) << way.name;
        EXPECT_EQ(shown, QStringLiteral("line one\n\tdetail\n")) << way.name;
        EXPECT_EQ(dialog.m_text, "line one\r\n\tdetail\r\n") << way.name;
    }
}

TEST_F(DialogsTest, DiagnosticsWindowWithAnEmptyTextShowsAnEmptyField) {
    DiagnosticsDialog dialog;
    QString shown = QStringLiteral("not run");
    onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* d) {
        shown = d->textField()->toPlainText();
        d->okButton()->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Ravek Diagnostics"));
    EXPECT_TRUE(dialog.okButton()->isDefault());
    EXPECT_EQ(dialog.okButton()->text(), QStringLiteral("OK"));
}

TEST_F(DialogsTest, DiagnosticsWindowShowsALongLogWhole) {
    std::string log;
    for (int i = 0; i < 5000; ++i) {
        log += "\tline " + std::to_string(i) + "\r\n";
    }
    DiagnosticsDialog dialog;
    dialog.m_source = log;
    int lines = 0;
    onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* d) {
        lines = d->textField()->document()->blockCount();
        d->okButton()->click();
    });
    dialog.exec();
    EXPECT_EQ(lines, 5001);
}

TEST_F(DialogsTest, DiagnosticsWindowShowsBytesThatAreNotUtf8WithoutLosingTheRest) {
    DiagnosticsDialog dialog;
    dialog.m_source = std::string("bad \xff\xfe name\r\nnext");
    QString shown;
    onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* d) {
        shown = d->textField()->toPlainText();
        d->okButton()->click();
    });
    dialog.exec();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("bad ")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(" name\nnext")));
}

TEST_F(DialogsTest, AboutWindowNamesTheProductAndTheLibrariesInUse) {
    AboutDialog about("");
    const QStringList lines = about.text().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("Quoril ") + QStringLiteral(QUORIL_VERSION));
    EXPECT_TRUE(lines.contains(QStringLiteral("libFLAC ") + QString::fromLatin1(FLAC__VERSION_STRING)));
    EXPECT_TRUE(lines.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    EXPECT_TRUE(lines.contains(QString::fromStdString(about.versions().samplerate)));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quoril"));
}

TEST_F(DialogsTest, SamplerateVersionComesFromTheLibraryWithoutItsCopyrightNote) {
    const std::string version = samplerateVersion("");
    EXPECT_EQ(version.rfind("libsamplerate-", 0), 0u) << version;
    EXPECT_EQ(version.find('('), std::string::npos) << version;
    EXPECT_GT(version.size(), std::strlen("libsamplerate-"));
}

TEST_F(DialogsTest, SamplerateVersionFallsBackToTheSystemCopyWhenThePrivateOneIsBroken) {
    test::TempDir install;
    install.write("libsamplerate.so.0", "this is not a shared library");
    EXPECT_EQ(samplerateVersion(install.path()), samplerateVersion(""));
    EXPECT_EQ(samplerateVersion(install.path() + "/"), samplerateVersion(""));
}

TEST_F(DialogsTest, EveryPictureIsDrawnAndUnknownNumbersAreNot) {
    const int pictures[] = {Picture::kApplication, Picture::kStop, Picture::kVolumeUp, Picture::kVolumeDown,
                            Picture::kPause,       Picture::kPlay, Picture::kNext,     Picture::kPrevious,
                            Picture::kForward,     Picture::kBack, Picture::kFolder};
    for (int number : pictures) {
        EXPECT_TRUE(hasPicture(number)) << number;
        const QImage image = picturePixmap(number, 32).toImage();
        ASSERT_FALSE(image.isNull()) << number;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
            }
        }
        // Drawn, and not a filled square: a picture leaves some of its corner transparent.
        EXPECT_GT(opaque, 20) << number;
        EXPECT_LT(qAlpha(image.pixel(0, 0)), 128) << number;
        EXPECT_FALSE(pictureIcon(number).isNull()) << number;
    }
    // Pictures differ from one another.
    EXPECT_NE(picturePixmap(Picture::kPlay, 32).toImage(), picturePixmap(Picture::kPause, 32).toImage());
    EXPECT_NE(picturePixmap(Picture::kNext, 32).toImage(), picturePixmap(Picture::kPrevious, 32).toImage());
    for (int number : {0, 129, 142, 147, 149}) {
        EXPECT_FALSE(hasPicture(number)) << number;
        EXPECT_TRUE(picturePixmap(number, 32).isNull()) << number;
        EXPECT_TRUE(pictureIcon(number).isNull()) << number;
    }
}

TEST_F(DialogsTest, DialogUnitsScaleWithTheFont) {
    QFont small;
    small.setPointSize(8);
    QFont large = small;
    large.setPointSize(28);
    const DialogUnits a(small);
    const DialogUnits b(large);
    EXPECT_EQ(a.x(4), a.baseX());
    EXPECT_EQ(a.y(8), a.baseY());
    EXPECT_GT(b.x(151), 2 * a.x(151));
    EXPECT_GT(b.y(110), 2 * a.y(110));
    // Neighbours in dialog units are neighbours in pixels, whatever the rounding.
    for (int left = 0; left < 40; ++left) {
        EXPECT_EQ(b.rect(left, 98, 9, 8).right() + 1, b.rect(left + 9, 98, 9, 8).left()) << left;
    }
    EXPECT_EQ(b.rect(0, 0, 151, 98).bottom() + 1, b.rect(0, 98, 9, 8).top());
}

TEST_F(DialogsTest, NumbersAreFormattedWithADecimalPointAfterQtStarted) {
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    char text[16];
    std::snprintf(text, sizeof text, "%4.1f", -30.5);
    EXPECT_STREQ(text, "-30.5");
}

}  // namespace
}  // namespace quoril
