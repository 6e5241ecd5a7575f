#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/PlayerView.h"
#include "ui/SettingsView.h"

namespace quoril::test {

// A message box or diagnostics window as the logic showed it.
struct ShownBox {
    std::string kind;  // "box", "diagnostics" or "error"
    std::string text;
    std::string caption;
};

class FakeSettingsView;

// A settings window that keeps its controls in memory. Its modal run calls onInitDialog, then
// the script (which plays the user), then Cancel when the script did not close the window.
class FakeSettingsView : public SettingsView {
  public:
    using Script = std::function<void(FakeSettingsView&, SettingsController&)>;

    explicit FakeSettingsView(Script script = nullptr) : m_script(std::move(script)) {}

    int runModal(SettingsController& controller) override;
    void endDialog(int result) override { result_ = result; }
    void hide() override { hidden = true; }
    void showMessageBox(const std::string& text, const std::string& caption) override {
        boxes.push_back({"box", text, caption});
    }
    void enableControl(int controlId, bool enabled) override { enabledState[controlId] = enabled; }
    void setControlText(int controlId, const std::string& text) override { texts[controlId] = text; }
    void setChecked(int controlId, bool checked) override;
    bool isChecked(int controlId) const override { return checked.count(controlId) != 0; }
    void clearCombo(int controlId) override { combos[controlId] = Combo(); }
    void addComboItem(int controlId, const std::string& text) override {
        combos[controlId].items.push_back(text);
    }
    int comboCount(int controlId) const override;
    std::string comboItemText(int controlId, int index) const override;
    void setComboSelection(int controlId, int index) override;
    int comboSelection(int controlId) const override;

    // The user's acts.
    void click(int radioId);  // an automatic radio button: clears the others of its group
    void choose(SettingsController& controller, int comboId, int index);

    bool enabled(int controlId) const;
    std::vector<std::string> items(int controlId) const;

    struct Combo {
        std::vector<std::string> items;
        int selection = -1;
    };
    std::map<int, Combo> combos;
    std::set<int> checked;
    std::map<int, bool> enabledState;
    std::map<int, std::string> texts;
    std::vector<ShownBox> boxes;
    bool hidden = false;
    bool initialised = false;
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
        return closeResult;
    }
    void closeWindow(int result) override {
        closed = true;
        closeResult = result;
    }
    void setTitle(const std::string& text) override { title = text; }
    void setWaitCursor(bool on) override { waitCursor = on; }
    void flashCaption() override { ++flashes; }
    void pause(int ms) override { pauses.push_back(ms); }
    void showMessageBox(const std::string& text, const std::string& caption) override {
        shown.push_back({"box", text, caption});
        sequence.push_back("box");
    }
    void showDiagnostics(const std::string& text) override {
        shown.push_back({"diagnostics", text, ""});
        sequence.push_back("diagnostics");
    }
    void showErrorBox(const std::string& text) override {
        shown.push_back({"error", text, "Error"});
        sequence.push_back("error");
    }
    bool chooseFile(int& filterIndex, std::string& path) override;
    std::unique_ptr<SettingsView> createSettingsView() override;
    void clearTrackList() override {
        rows.clear();
        selected = -1;
    }
    void addTrackRow(const std::string& line) override { rows.push_back(line); }
    void selectTrackRow(int row) override {
        selected = row >= 0 && row < static_cast<int>(rows.size()) ? row : -1;
    }
    int selectedTrackRow() const override { return selected; }
    void focusTrackList() override { ++listFocus; }
    void showFields(const std::string& trackTimeText, const std::string& volumeText) override {
        trackTime = trackTimeText;
        volume = volumeText;
        fieldHistory.push_back(trackTimeText);
    }
    void setProgressRange(int64_t maximum) override { progressMax = maximum; }
    void setProgressPosition(int64_t position) override { progressPosition = position; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void focusProgress() override { ++progressFocus; }
    void enableControl(int controlId, bool enabled) override { enabledState[controlId] = enabled; }
    void setButtonPicture(int controlId, int picture) override { pictures[controlId] = picture; }
    void startTimer(int timerId, int periodMs) override { timers[timerId] = periodMs; }
    void killTimer(int timerId) override { timers.erase(timerId); }

    bool enabled(int controlId) const;
    // The boxes of one kind, in order.
    std::vector<std::string> texts(const std::string& kind) const;
    // Every kind shown, in order ("box", "diagnostics", "settings", "open").
    std::vector<std::string> sequence;

    std::vector<ShownBox> shown;
    std::string title = "Ravek";
    bool waitCursor = false;
    int flashes = 0;
    std::vector<int> pauses;
    std::vector<std::string> rows;
    int selected = -1;
    int listFocus = 0;
    std::string trackTime;
    std::string volume;
    std::vector<std::string> fieldHistory;
    int64_t progressMax = 0;
    int64_t progressPosition = 0;
    bool progressVisible = false;
    int progressFocus = 0;
    std::map<int, bool> enabledState;
    std::map<int, int> pictures;
    std::map<int, int> timers;  // running timers and their periods
    bool closed = false;
    int closeResult = 0;

    // The file-open dialog: called with the filter index it opens on; returns the user's act.
    std::function<bool(int& filterIndex, std::string& path)> fileDialog;
    std::vector<int> fileDialogFilters;
    // The settings windows to come; an empty script cancels.
    FakeSettingsView::Script settingsScript;
    int settingsRuns = 0;
};

}  // namespace quoril::test
