#include "ui/FakeViews.h"

#include <algorithm>

namespace quoril::test {

namespace {

// The radio groups of the settings window, first to last.
const std::vector<std::vector<int>>& radioGroups() {
    using namespace SettingsControl;
    static const std::vector<std::vector<int>> groups = {
        {kRate44100, kRate48000, kRate88200, kRate96000, kRate176400, kRate192000},
        {kDiagnosticsYes, kDiagnosticsNo},
        {kRepeat, kStop, kRandom, kExit},
        {kConverterBest, kConverterMedium},
        {kZebYes, kZebNo},
        {kAweYes, kAweNo},
    };
    return groups;
}

}  // namespace

int FakeSettingsView::runModal(SettingsController& controller) {
    result_ = 0;
    controller.onInitDialog();
    initialised = true;
    if (m_script) {
        m_script(*this, controller);
    }
    if (result_ == 0) {
        controller.onCancel();
    }
    return result_;
}

void FakeSettingsView::setChecked(int controlId, bool on) {
    if (on) {
        checked.insert(controlId);
    } else {
        checked.erase(controlId);
    }
}

int FakeSettingsView::comboCount(int controlId) const {
    auto combo = combos.find(controlId);
    return combo == combos.end() ? 0 : static_cast<int>(combo->second.items.size());
}

std::string FakeSettingsView::comboItemText(int controlId, int index) const {
    auto combo = combos.find(controlId);
    if (combo == combos.end() || index < 0 || index >= static_cast<int>(combo->second.items.size())) {
        return std::string();
    }
    return combo->second.items[static_cast<size_t>(index)];
}

void FakeSettingsView::setComboSelection(int controlId, int index) {
    Combo& combo = combos[controlId];
    combo.selection = index >= 0 && index < static_cast<int>(combo.items.size()) ? index : -1;
}

int FakeSettingsView::comboSelection(int controlId) const {
    auto combo = combos.find(controlId);
    return combo == combos.end() ? -1 : combo->second.selection;
}

void FakeSettingsView::click(int radioId) {
    for (const std::vector<int>& group : radioGroups()) {
        if (std::find(group.begin(), group.end(), radioId) != group.end()) {
            for (int id : group) {
                checked.erase(id);
            }
        }
    }
    checked.insert(radioId);
}

void FakeSettingsView::choose(SettingsController& controller, int comboId, int index) {
    setComboSelection(comboId, index);
    if (comboId == SettingsControl::kDriverList) {
        controller.onDriverSelectionChanged();
    }
}

bool FakeSettingsView::enabled(int controlId) const {
    auto state = enabledState.find(controlId);
    return state == enabledState.end() || state->second;
}

std::vector<std::string> FakeSettingsView::items(int controlId) const {
    auto combo = combos.find(controlId);
    return combo == combos.end() ? std::vector<std::string>() : combo->second.items;
}

bool FakePlayerView::chooseFile(int& filterIndex, std::string& path) {
    sequence.push_back("open");
    fileDialogFilters.push_back(filterIndex);
    return fileDialog ? fileDialog(filterIndex, path) : false;
}

std::unique_ptr<SettingsView> FakePlayerView::createSettingsView() {
    sequence.push_back("settings");
    ++settingsRuns;
    return std::make_unique<FakeSettingsView>(settingsScript);
}

bool FakePlayerView::enabled(int controlId) const {
    auto state = enabledState.find(controlId);
    return state == enabledState.end() || state->second;
}

std::vector<std::string> FakePlayerView::texts(const std::string& kind) const {
    std::vector<std::string> out;
    for (const ShownBox& box : shown) {
        if (box.kind == kind) {
            out.push_back(box.text);
        }
    }
    return out;
}

}  // namespace quoril::test
