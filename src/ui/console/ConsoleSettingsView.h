#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/SettingsView.h"

namespace quoril {

class Settings;

// The settings window for a terminal. It cannot be edited: its modal run fills the controls as
// the window would, prints the usable drivers with their channel pairs and the current player
// settings, says where the settings file is, and closes as if Cancel was pressed.
class ConsoleSettingsView : public SettingsView {
  public:
    ConsoleSettingsView(std::FILE* out, const Settings& settings);

    int runModal(SettingsController& controller) override;
    void endDialog(int result) override;
    void hide() override {}
    void showMessageBox(const std::string& text, const std::string& caption) override;
    void enableControl(int, bool) override {}
    void setControlText(int, const std::string&) override {}
    void setChecked(int controlId, bool checked) override;
    bool isChecked(int controlId) const override { return m_checked.count(controlId) != 0; }
    void clearCombo(int controlId) override;
    void addComboItem(int controlId, const std::string& text) override;
    int comboCount(int controlId) const override;
    std::string comboItemText(int controlId, int index) const override;
    void setComboSelection(int controlId, int index) override;
    int comboSelection(int controlId) const override;

    // What the modal run prints about settings.
    static std::string describe(const Settings& settings);

  private:
    struct Combo {
        std::vector<std::string> items;
        int selection = -1;
    };

    std::FILE* m_out;
    const Settings& m_settings;
    int m_result = 0;
    std::set<int> m_checked;
    std::map<int, Combo> m_combos;
};

}  // namespace quoril
