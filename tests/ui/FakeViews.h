#pragma once

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/PlayerView.h"
#include "ui/SettingsView.h"

namespace quoril::test {

// Controls that were never disabled count as enabled.
inline bool enabledIn(const std::map<int, bool>& state, int id) {
    return !state.count(id) || state.at(id);
}

// A settings window that keeps its controls in memory. Its modal run calls onInitDialog, then
// the script (which plays the user), then Cancel when the script did not close the window.
class FakeSettingsView : public SettingsView {
  public:
    using Script = std::function<void(FakeSettingsView&, SettingsController&)>;
    explicit FakeSettingsView(Script script = nullptr) : m_script(std::move(script)) {}

    int runModal(SettingsController& controller) override {
        result_ = 0;
        controller.onInitDialog();
        if (m_script) {
            m_script(*this, controller);
        }
        if (result_ == 0) {
            controller.onCancel();
        }
        return result_;
    }
    void endDialog(int result) override { result_ = result; }
    void hide() override {}
    void showMessageBox(const std::string& text, const std::string& caption) override {
        boxes.emplace_back(caption, text);
    }
    void enableControl(int id, bool on) override { enabledState[id] = on; }
    void setControlText(int id, const std::string& text) override { texts[id] = text; }
    void setChecked(int id, bool on) override { on ? void(checked.insert(id)) : void(checked.erase(id)); }
    bool isChecked(int id) const override { return checked.count(id) != 0; }
    void clearCombo(int id) override { combos[id].clear(), selection.erase(id); }
    void addComboItem(int id, const std::string& text) override { combos[id].push_back(text); }
    int comboCount(int id) const override { return combos.count(id) ? int(combos.at(id).size()) : 0; }
    std::string comboItemText(int id, int index) const override {
        return index >= 0 && index < comboCount(id) ? combos.at(id)[size_t(index)] : "";
    }
    void setComboSelection(int id, int index) override {
        selection[id] = index >= 0 && index < comboCount(id) ? index : -1;
    }
    int comboSelection(int id) const override { return selection.count(id) ? selection.at(id) : -1; }

    // The user's act: an automatic radio button clears the others of its group. The radio ids list
    // the groups one after the other: rate, diagnostics, playback, upsampler, zEB and AWE.
    void click(int radioId) {
        const int* first = std::begin(kSettingsRadioIds);
        for (int size : {6, 2, 4, 2, 2, 2}) {
            if (std::find(first, first + size, radioId) != first + size) {
                std::for_each(first, first + size, [this](int id) { checked.erase(id); });
            }
            first += size;
        }
        checked.insert(radioId);
    }
    bool enabled(int id) const { return enabledIn(enabledState, id); }

    std::map<int, std::vector<std::string>> combos;
    std::map<int, int> selection;
    std::set<int> checked;
    std::map<int, bool> enabledState;
    std::map<int, std::string> texts;
    std::vector<std::pair<std::string, std::string>> boxes;  // caption and text
    int result_ = 0;

  private:
    Script m_script;
};

// A player window that keeps what it was told. Its modal run only calls onInitDialog; the
// test then plays the user and the timer by calling the controller itself.
class FakePlayerView : public PlayerView {
  public:
    int runModal(PlayerController& controller) override {
        controller.onInitDialog();
        return 0;
    }
    void closeWindow(int) override { closed = true; }
    void setTitle(const std::string& text) override { title = text; }
    void setWaitCursor(bool) override {}
    void flashCaption() override {}
    void pause(int) override {}
    void showMessageBox(const std::string& text, const std::string&) override { show("box", text); }
    void showDiagnostics(const std::string& text) override { show("diagnostics", text); }
    void showErrorBox(const std::string& text) override { show("error", text); }
    bool chooseFile(int&, std::string&) override { return false; }
    std::unique_ptr<SettingsView> createSettingsView() override {
        sequence.push_back("settings");
        return std::make_unique<FakeSettingsView>(settingsScript);
    }
    void clearTrackList() override { rows.clear(), selected = -1; }
    void addTrackRow(const std::string& line, bool) override { rows.push_back(line); }
    void selectTrackRow(int row) override { selected = row >= 0 && row < int(rows.size()) ? row : -1; }
    int selectedTrackRow() const override { return selected; }
    void focusTrackList() override {}
    void showFields(const std::string& trackTimeText, const std::string& volumeText) override {
        trackTime = trackTimeText, volume = volumeText;
    }
    void setProgressRange(int64_t maximum) override { progressMax = maximum; }
    void setProgressPosition(int64_t) override {}
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void focusProgress() override {}
    void enableControl(int id, bool on) override { enabledState[id] = on; }
    void setButtonPicture(int id, int picture) override { pictures[id] = picture; }
    void startTimer(int timerId, int periodMs) override { timers[timerId] = periodMs; }
    void killTimer(int timerId) override { timers.erase(timerId); }

    bool enabled(int id) const { return enabledIn(enabledState, id); }
    std::vector<std::string> texts(const std::string& kind) const {
        return shown.count(kind) ? shown.at(kind) : std::vector<std::string>();
    }

    std::vector<std::string> sequence;  // every kind of window shown, in order, and "settings"
    std::map<std::string, std::vector<std::string>> shown;  // the texts of each kind, in order
    std::string title = "Ravek";
    std::vector<std::string> rows;
    int selected = -1;
    std::string trackTime, volume;
    int64_t progressMax = 0;
    bool progressVisible = false;
    std::map<int, bool> enabledState;
    std::map<int, int> pictures;
    std::map<int, int> timers;  // running timers and their periods
    bool closed = false;
    FakeSettingsView::Script settingsScript;  // the settings windows to come; none cancels

  private:
    void show(const char* kind, const std::string& text) {
        shown[kind].push_back(text);
        sequence.push_back(kind);
    }
};

}  // namespace quoril::test
