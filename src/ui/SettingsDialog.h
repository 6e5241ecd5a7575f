#pragma once

#include <memory>
#include <string>

#include "ui/SettingsView.h"

namespace quoril {

class DspEngine;

// Set while the settings window is open: the opener sets it, the window clears it when it
// closes. The player's timer looks at it before closing the player at the end of the disc.
// Window thread only.
extern bool settingsOpen;

// The settings window's logic, without a toolkit: it shows the usable drivers with their channel
// pairs and the player settings from settings(), copies the user's choices back on OK and writes
// the settings file. Runs on the window thread.
class SettingsDialog : public SettingsController {
  public:
    // The settings window's captions and boxes.
    static constexpr const char* kCaption = "Ravek Settings";
    static constexpr const char* kNoDriversText =
        "No valid ASIO drivers found!\r\n\r\nPlayer requirers at least one ASIO driver to be "
        "installed.\r\n\r\n"
        "If an ASIO driver was installed, its not operational - make sure soundcard is enabled (in hardware "
        "device manager).";
    static constexpr const char* kDriverNotActiveText = "ASIO driver is NOT active";
    // The box of "ASIO Settings" for a driver that has no control panel: where its values live.
    static std::string noControlPanelText(const std::string& driverName, const std::string& registryFile);

    // engine is the player's current engine slot (empty when there is no engine); it is read
    // whenever the window needs the engine, so an engine that ends meanwhile is not used.
    SettingsDialog(SettingsView& view, const std::unique_ptr<DspEngine>& engine);

    // Runs the window modally; returns SettingsControl::kOK or kCancel.
    int run();

    // SettingsController (called by the view).
    void onInitDialog() override;
    void onDriverSelectionChanged() override;
    void onAsioSettings() override;
    void onOK() override;
    void onCancel() override;

  private:
    // Fills the pair list from the driver entry named name and selects its chosen pair.
    void fillPairs(const std::string& name);
    // The engine when it is there and ready to play, else null.
    DspEngine* readyEngine() const;

    SettingsView& m_view;
    const std::unique_ptr<DspEngine>& m_engine;
};

}  // namespace quoril
