#include "ui/SettingsDialog.h"

#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "asio/AsioDriverList.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "platform/Registry.h"

namespace quoril {

bool settingsOpen = false;

namespace {

using namespace SettingsControl;

struct RadioValue {
    int id;
    double value;
};

constexpr RadioValue kRates[] = {
    {kRate44100, 44100.0}, {kRate48000, 48000.0},   {kRate88200, 88200.0},
    {kRate96000, 96000.0}, {kRate176400, 176400.0}, {kRate192000, 192000.0},
};

constexpr int kPlaybackButtons[] = {kRepeat, kStop, kRandom, kExit};  // modes 1 .. 4

const AsioDriverEntry* findDriver(const Settings& s, const std::string& name) {
    for (int i = 0; i < s.driverCount && i < Settings::kMaxDrivers; ++i) {
        if (s.drivers[i].name == name) {
            return &s.drivers[i];
        }
    }
    return nullptr;
}

}  // namespace

SettingsDialog::SettingsDialog(SettingsView& view, const std::unique_ptr<DspEngine>& engine)
    : m_view(view), m_engine(engine) {}

int SettingsDialog::run() {
    return m_view.runModal(*this);
}

DspEngine* SettingsDialog::readyEngine() const {
    DspEngine* engine = m_engine.get();
    return engine && engine->active ? engine : nullptr;
}

void SettingsDialog::onInitDialog() {
    Settings& s = settings();
    m_view.enableControl(kOK, false);
    m_view.setControlText(kAsioSettings, "ASIO Settings");
    m_view.enableControl(kAsioSettings, false);

    for (int id : kSettingsRadioIds) {
        m_view.setChecked(id, false);
    }
    m_view.setChecked(s.diagnostics ? kDiagnosticsYes : kDiagnosticsNo, true);
    if (s.converterType == 0) {
        m_view.setChecked(kConverterBest, true);
    } else if (s.converterType == 1) {
        m_view.setChecked(kConverterMedium, true);
    }
    for (const RadioValue& rate : kRates) {
        if (s.outputRate == rate.value) {
            m_view.setChecked(rate.id, true);
        }
    }
    if (s.playbackMode >= 1 && s.playbackMode <= 4) {
        m_view.setChecked(kPlaybackButtons[s.playbackMode - 1], true);
    }
    m_view.setChecked(s.zebMode ? kZebYes : kZebNo, true);
    m_view.setChecked(s.useAwe ? kAweYes : kAweNo, true);

    m_view.clearCombo(kDriverList);
    m_view.clearCombo(kPairList);

    if (!s.driversFound) {
        m_view.enableControl(kDriverList, false);
        m_view.enableControl(kPairList, false);
        m_view.showMessageBox(kNoDriversText, kCaption);
    } else {
        // The driver list is a sorted list: names in the order a sorted list box keeps them
        // (ignoring case), equal names in the order they came.
        std::vector<std::string> names;
        for (int i = 0; i < s.driverCount && i < Settings::kMaxDrivers; ++i) {
            names.push_back(s.drivers[i].name);
        }
        std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        });
        for (const std::string& name : names) {
            m_view.addComboItem(kDriverList, name);
        }

        const AsioDriverEntry* selected = nullptr;
        for (int i = 0; i < s.driverCount && i < Settings::kMaxDrivers; ++i) {
            if (s.drivers[i].selected) {
                selected = &s.drivers[i];
                break;
            }
        }
        if (selected) {
            auto item = std::find(names.begin(), names.end(), selected->name);
            m_view.setComboSelection(kDriverList, static_cast<int>(item - names.begin()));
            fillPairs(selected->name);
        } else if (!names.empty()) {
            m_view.setComboSelection(kDriverList, 0);
            fillPairs(m_view.comboItemText(kDriverList, 0));
        }
        m_view.enableControl(kOK, true);
    }

    if (DspEngine* engine = readyEngine()) {
        m_view.setControlText(kAsioSettings, engine->driverName + " Settings");
        m_view.enableControl(kAsioSettings, true);
    }
}

void SettingsDialog::fillPairs(const std::string& name) {
    const AsioDriverEntry* entry = findDriver(settings(), name);
    if (!entry) {
        return;
    }
    int pairs = std::min<int>(entry->pairCount, AsioDriverEntry::kMaxPairs);
    for (int i = 0; i < pairs; ++i) {
        m_view.addComboItem(kPairList, entry->pairNames[i]);
    }
    if (pairs > 0) {
        m_view.setComboSelection(kPairList, entry->pairIndex);
    }
}

void SettingsDialog::onDriverSelectionChanged() {
    int item = m_view.comboSelection(kDriverList);
    std::string name = item >= 0 ? m_view.comboItemText(kDriverList, item) : std::string();
    m_view.clearCombo(kPairList);
    fillPairs(name);
}

void SettingsDialog::onAsioSettings() {
    DspEngine* engine = readyEngine();
    if (!engine) {
        m_view.showMessageBox(kDriverNotActiveText, kCaption);
        return;
    }
    // The driver's own panel may change what the driver does behind the values shown here.
    m_view.enableControl(kOK, false);
    IASIO* driver = theAsioDriver.load();
    if (theTransport.dspEvent.load() && engine->active && engine->threadRunning() && driver &&
        driver->controlPanel() == ASE_NotPresent) {
        // Nothing opened and nothing can have changed: the window stays as usable as before, and
        // the user learns where the driver's values are kept instead.
        m_view.enableControl(kOK, true);
        m_view.showMessageBox(noControlPanelText(engine->driverName, Registry::locate()), kCaption);
    }
}

std::string SettingsDialog::noControlPanelText(const std::string& driverName,
                                               const std::string& registryFile) {
    return driverName +
           " has no control panel.\r\n\r\nIts settings are the values of the key\r\n"
           "\tHKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" +
           driverName + "\r\nin the registry file\r\n\t" + registryFile + "\r\n";
}

void SettingsDialog::onOK() {
    Settings& s = settings();
    int driverItem = m_view.comboSelection(kDriverList);
    if (driverItem >= 0) {
        s.asioDriverName = m_view.comboItemText(kDriverList, driverItem);
    }
    s.channelPair = static_cast<int16_t>(m_view.comboSelection(kPairList));

    if (m_view.isChecked(kConverterBest)) {
        s.converterType = 0;
        s.converterText = "0";
    }
    if (m_view.isChecked(kConverterMedium)) {
        s.converterType = 1;
        s.converterText = "1";
    }
    for (const RadioValue& rate : kRates) {
        if (m_view.isChecked(rate.id)) {
            s.outputRate = rate.value;
        }
    }
    for (int mode = 1; mode <= 4; ++mode) {
        if (m_view.isChecked(kPlaybackButtons[mode - 1])) {
            s.playbackMode = static_cast<int16_t>(mode);
        }
    }
    if (m_view.isChecked(kZebYes)) {
        s.zebMode = true;
    } else if (m_view.isChecked(kZebNo)) {
        s.zebMode = false;
    }
    if (m_view.isChecked(kAweYes)) {
        s.useAwe = true;
    } else if (m_view.isChecked(kAweNo)) {
        s.useAwe = false;
    }
    s.diagnostics = m_view.isChecked(kDiagnosticsYes);

    if (saveSettings(SaveForm::Confirm, s.volumeDb)) {
        m_view.hide();
        // The end-of-disc mode reaches a playing disc at once.
        if (s.playbackMode == 2 || s.playbackMode == 4) {
            theTransport.repeatAtEnd.store(false);
        } else if (s.playbackMode == 1 || s.playbackMode == 3) {
            theTransport.repeatAtEnd.store(true);
        }
    } else {
        m_view.showMessageBox(kSaveProblemText, kSaveProblemCaption);
    }
    m_view.endDialog(kOK);
    settingsOpen = false;
}

void SettingsDialog::onCancel() {
    m_view.endDialog(kCancel);
    settingsOpen = false;
}

}  // namespace quoril
