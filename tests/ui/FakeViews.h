#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "ui/PlayerView.h"
#include "ui/SettingsView.h"

namespace quoril::test {

// A settings window without controls that keeps its message boxes and disabled controls. Its modal
// run calls onInitDialog, then the script (which plays the user), then Cancel unless the script closed it.
class FakeSettingsView : public SettingsView {
  public:
    using Script = std::function<void(FakeSettingsView&, SettingsController&)>;
    explicit FakeSettingsView(Script script = nullptr) : m_script(std::move(script)) {}

    int runModal(SettingsController& controller) override {
        result_ = 0;
        controller.onInitDialog();
        m_script ? m_script(*this, controller) : void();
        result_ == 0 ? controller.onCancel() : void();
        return result_;
    }
    void endDialog(int result) override { result_ = result; }
    void hide() override {}
    void showMessageBox(const std::string& text, const std::string&) override { boxes.push_back(text); }
    void enableControl(int id, bool on) override {
        on ? void(disabled.erase(id)) : void(disabled.insert(id));
    }
    void setControlText(int, const std::string&) override {}
    void setChecked(int, bool) override {}
    bool isChecked(int) const override { return false; }
    void clearCombo(int) override {}
    void addComboItem(int, const std::string&) override {}
    int comboCount(int) const override { return 0; }
    std::string comboItemText(int, int) const override { return ""; }
    void setComboSelection(int, int) override {}
    int comboSelection(int) const override { return -1; }
    std::set<int> disabled;
    std::vector<std::string> boxes;
    int result_ = 0;
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
        return std::make_unique<FakeSettingsView>();
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
    void enableControl(int id, bool on) override {
        on ? void(disabled.erase(id)) : void(disabled.insert(id));
    }
    void setButtonPicture(int id, int picture) override { pictures[id] = picture; }
    void startTimer(int timerId, int periodMs) override { timers[timerId] = periodMs; }
    void killTimer(int timerId) override { timers.erase(timerId); }

    std::map<std::string, std::vector<std::string>> shown;  // the texts of each kind, in order
    std::string title = "Ravek";
    std::vector<std::string> rows;
    int selected = -1;
    std::string trackTime, volume;
    int64_t progressMax = 0;
    bool progressVisible = false;
    std::set<int> disabled;
    std::map<int, int> pictures;
    std::map<int, int> timers;  // running timers and their periods
    bool closed = false;
    void show(const char* kind, const std::string& text) { shown[kind].push_back(text); }
};

}  // namespace quoril::test
