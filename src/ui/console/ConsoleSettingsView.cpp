#include "ui/console/ConsoleSettingsView.h"

#include <algorithm>

#include "config/Settings.h"
#include "platform/CFormat.h"
#include "ui/console/ConsolePlayerView.h"

namespace quoril {

ConsoleSettingsView::ConsoleSettingsView(std::FILE* out, const Settings& settings)
    : m_out(out), m_settings(settings) {}

int ConsoleSettingsView::runModal(SettingsController& controller) {
    m_result = 0;
    controller.onInitDialog();
    std::string text = describe(m_settings);
    std::fputs(ConsolePlayerView::boxText("Ravek Settings", text).c_str(), m_out);
    std::fflush(m_out);
    if (m_result == 0) {
        controller.onCancel();
    }
    return m_result;
}

void ConsoleSettingsView::endDialog(int result) {
    m_result = result;
}

void ConsoleSettingsView::showMessageBox(const std::string& text, const std::string& caption) {
    std::fputs(ConsolePlayerView::boxText(caption, text).c_str(), m_out);
    std::fflush(m_out);
}

void ConsoleSettingsView::setChecked(int controlId, bool checked) {
    if (checked) {
        m_checked.insert(controlId);
    } else {
        m_checked.erase(controlId);
    }
}

void ConsoleSettingsView::clearCombo(int controlId) {
    m_combos[controlId] = Combo();
}

void ConsoleSettingsView::addComboItem(int controlId, const std::string& text) {
    m_combos[controlId].items.push_back(text);
}

int ConsoleSettingsView::comboCount(int controlId) const {
    auto combo = m_combos.find(controlId);
    return combo == m_combos.end() ? 0 : static_cast<int>(combo->second.items.size());
}

std::string ConsoleSettingsView::comboItemText(int controlId, int index) const {
    auto combo = m_combos.find(controlId);
    if (combo == m_combos.end() || index < 0 || index >= static_cast<int>(combo->second.items.size())) {
        return std::string();
    }
    return combo->second.items[static_cast<size_t>(index)];
}

void ConsoleSettingsView::setComboSelection(int controlId, int index) {
    Combo& combo = m_combos[controlId];
    combo.selection = index >= 0 && index < static_cast<int>(combo.items.size()) ? index : -1;
}

int ConsoleSettingsView::comboSelection(int controlId) const {
    auto combo = m_combos.find(controlId);
    return combo == m_combos.end() ? -1 : combo->second.selection;
}

std::string ConsoleSettingsView::describe(const Settings& s) {
    std::string text = "Usable ASIO drivers:\r\n";
    if (!s.driversFound || s.driverCount <= 0) {
        text += "\t(none)\r\n";
    }
    for (int i = 0; i < s.driverCount && i < Settings::kMaxDrivers; ++i) {
        const AsioDriverEntry& entry = s.drivers[i];
        text += "\t" + entry.name + (entry.name == s.asioDriverName ? "  (chosen)" : "") + "\r\n";
        int pairs = std::min<int>(entry.pairCount, AsioDriverEntry::kMaxPairs);
        for (int pair = 0; pair < pairs; ++pair) {
            text += cformat("\t\tpair %d: %s\r\n", pair, entry.pairNames[pair].c_str());
        }
    }
    static const char* const kModes[] = {"Repeat", "Stop", "Random", "Exit"};
    text += "\r\nCurrent settings:\r\n";
    text += "\tASIO=" + s.asioDriverName + "\r\n";
    text += cformat("\tASIOCHANNEL=%d\r\n", static_cast<int>(s.channelPair));
    text += cformat("\tSRC=%d\r\n", static_cast<int>(s.converterType));
    text += cformat("\tRATE=%10.3f\r\n", s.outputRate);
    text += cformat("\tVOLUME=%5.1f\r\n", s.volumeDb);
    text += cformat("\tPHASE=%d\r\n", s.phase == 0 ? 0 : 180);
    if (s.playbackMode >= 1 && s.playbackMode <= 4) {
        text += cformat("\tPLAYBACK=%s\r\n", kModes[s.playbackMode - 1]);
    }
    text += std::string("\tDIAGNOSTICS=") + (s.diagnostics ? "Yes" : "No") + "\r\n";
    text += std::string("\tZEB=") + (s.zebMode ? "Yes" : "No") + "\r\n";
    text += std::string("\tAWE=") + (s.useAwe ? "Yes" : "No") + "\r\n";
    text += "\r\nTo change them, edit " + (s.iniPath.empty() ? std::string("Quoril.ini") : s.iniPath) +
            " and start the player again.\r\n";
    return text;
}

}  // namespace quoril
