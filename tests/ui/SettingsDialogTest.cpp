#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "support/TempDir.h"
#include "ui/FakeViews.h"
#include "ui/SettingsDialog.h"

namespace quoril::test {
namespace {

using namespace SettingsControl;

AsioDriverEntry driver(const std::string& name, int pairs, int pairIndex = 0, bool selected = false) {
    AsioDriverEntry entry;
    entry.name = name;
    entry.pairCount = static_cast<int16_t>(pairs);
    entry.pairIndex = static_cast<int16_t>(pairIndex);
    entry.selected = selected;
    for (int i = 0; i < pairs && i < AsioDriverEntry::kMaxPairs; ++i) {
        entry.pairNames[static_cast<size_t>(i)] =
            name + " " + std::to_string(2 * i + 1) + " / " + name + " " + std::to_string(2 * i + 2);
    }
    return entry;
}

// A settings record as a successful read leaves it, with its file in a temporary directory.
class SettingsWindowTest : public ::testing::Test {
  protected:
    SettingsWindowTest() {
        record.fileFilterIndex = 1;
        record.playbackMode = 1;
        record.converterText = "1";
        record.converterType = 1;
        record.outputRate = 44100.0;
        record.volumeDb = -30.0;
        record.diagnostics = true;
        record.valid = true;
        record.iniPath = dir.file("Quoril.ini");
        setSettingsInstance(&record);
    }
    ~SettingsWindowTest() override { setSettingsInstance(nullptr); }

    void addDrivers(const std::vector<AsioDriverEntry>& entries) {
        for (size_t i = 0; i < entries.size(); ++i) {
            record.drivers[i] = entries[i];
        }
        record.driverCount = static_cast<int16_t>(entries.size());
        record.driversFound = !entries.empty();
    }

    // Runs the window with the given user; returns its result.
    int run(FakeSettingsView::Script script = nullptr) {
        view = std::make_unique<FakeSettingsView>(std::move(script));
        SettingsDialog dialog(*view, noEngine);
        settingsOpen = true;
        return dialog.run();
    }

    TempDir dir;
    Settings record;
    std::unique_ptr<DspEngine> noEngine;
    std::unique_ptr<FakeSettingsView> view;
};

TEST_F(SettingsWindowTest, OpeningChecksOneButtonPerGroupFromTheSettings) {
    const struct {
        double rate;
        bool diagnostics;
        int playbackMode, converter;
        bool zeb, awe;
        std::set<int> checked;
    } cases[] = {
        {44100,
         true,
         1,
         1,
         false,
         false,
         {kRate44100, kDiagnosticsYes, kRepeat, kConverterMedium, kZebNo, kAweNo}},
        {192000,
         false,
         4,
         0,
         true,
         true,
         {kRate192000, kDiagnosticsNo, kExit, kConverterBest, kZebYes, kAweYes}},
        // A rate without a button checks none.
        {22050, true, 3, 1, false, false, {kDiagnosticsYes, kRandom, kConverterMedium, kZebNo, kAweNo}},
    };
    addDrivers({driver("Card", 1)});
    for (const auto& c : cases) {
        record.outputRate = c.rate, record.diagnostics = c.diagnostics, record.playbackMode = c.playbackMode;
        record.converterType = c.converter, record.zebMode = c.zeb, record.useAwe = c.awe;
        run();
        EXPECT_EQ(view->checked, c.checked) << c.rate;
    }
}

TEST_F(SettingsWindowTest, WithoutUsableDriversTheBoxShowsAndOnlyCancelRemains) {
    run([](FakeSettingsView&, SettingsController& c) { c.onAsioSettings(); });
    ASSERT_EQ(view->boxes.size(), 2u);
    EXPECT_EQ(
        view->boxes[0].text,
        "No valid ASIO drivers found!\r\n\r\nPlayer requirers at least one ASIO driver to be "
        "installed.\r\n\r\n"
        "If an ASIO driver was installed, its not operational - make sure soundcard is enabled (in hardware "
        "device manager).");
    EXPECT_EQ(view->boxes[0].caption, "Ravek Settings");
    EXPECT_EQ(view->boxes[1].text, "ASIO driver is NOT active");  // "ASIO Settings" without an engine
    EXPECT_FALSE(view->enabled(kOK));
    EXPECT_FALSE(view->enabled(kDriverList));
    EXPECT_FALSE(view->enabled(kPairList));
    EXPECT_EQ(view->result_, kCancel);
    EXPECT_FALSE(settingsOpen);
}

TEST_F(SettingsWindowTest, OkCopiesTheChoicesWritesTheFileAndSetsTheEndOfDiscModeAtOnce) {
    addDrivers({driver("Card", 2, 0, true), driver("Other", 1)});
    record.volumeDb = -12.5;
    record.windowWidth = 900, record.windowHeight = 700;
    theTransport.repeatAtEnd.store(true);
    int result = run([](FakeSettingsView& v, SettingsController& c) {
        v.choose(c, kDriverList, 0);
        v.setComboSelection(kPairList, 1);
        v.click(kRate96000);
        v.click(kStop);
        v.click(kConverterBest);
        v.click(kDiagnosticsNo);
        v.click(kZebYes);
        c.onOK();
    });
    EXPECT_EQ(result, kOK);
    EXPECT_TRUE(view->hidden);
    EXPECT_FALSE(settingsOpen);
    EXPECT_FALSE(theTransport.repeatAtEnd.load());
    EXPECT_EQ(readFile(record.iniPath),
              "ASIO=Card\nASIOCHANNEL=1\nSRC=0\nRATE= 96000.000\nVOLUME=-12.5\nPHASE=0\nPLAYBACK=S\n"
              "DIAGNOSTICS=No\nFILTER=1\nZEB\nWINDOW=900 700\n");
    EXPECT_EQ(record.converterText, "0");
    EXPECT_TRUE(record.drivers[0].selected);
    EXPECT_EQ(record.drivers[0].pairIndex, 1);
}

}  // namespace
}  // namespace quoril::test
