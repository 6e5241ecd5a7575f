#pragma once

#include <string>

namespace quoril {

// Control ids of the settings window, in tab order. Each radio group is listed first to last;
// the first id of a group carries the group mark.
namespace SettingsControl {
inline constexpr int kOK = 1;             // "OK", default button
inline constexpr int kCancel = 2;         // "Cancel"
inline constexpr int kAbout = 1005;       // "About": the view opens its About window itself
inline constexpr int kDriverList = 1007;  // drop-down list of usable driver names
inline constexpr int kPairList = 1008;    // drop-down list of the shown driver's channel pairs
// Rate group (inside " Player settings ", label "Rate").
inline constexpr int kRate44100 = 1009;   // "44.1"
inline constexpr int kRate48000 = 1010;   // "48.0"
inline constexpr int kRate88200 = 1011;   // "88.2"
inline constexpr int kRate96000 = 1012;   // "96.0"
inline constexpr int kRate176400 = 1013;  // "176.4"
inline constexpr int kRate192000 = 1014;  // "192.0"
// Diagnostics group (label "Diagnostics").
inline constexpr int kDiagnosticsYes = 1019;  // "Yes"
inline constexpr int kDiagnosticsNo = 1020;   // "No"
inline constexpr int kAsioSettings = 1021;    // "ASIO Settings": the driver's control panel
// Playback group (label 1027 "Playback").
inline constexpr int kPlaybackLabel = 1027;
inline constexpr int kRepeat = 1028;  // "Repeat"
inline constexpr int kStop = 1029;    // "Stop"
inline constexpr int kRandom = 1030;  // "Random"
inline constexpr int kExit = 1033;    // "Exit"
// Upsampler group (label "Upsampler").
inline constexpr int kConverterBest = 1034;    // "145.68db SNR Best Sinc"
inline constexpr int kConverterMedium = 1035;  // "121.33db SNR Best Sinc " (trailing blank)
// zEB group (label "zEB", note "(disables file browsing)").
inline constexpr int kZebYes = 1036;  // "Yes"
inline constexpr int kZebNo = 1037;   // "No"
// AWE group (label "AWE", note "(adv. RAM allocation: lock privilege required)").
inline constexpr int kAweYes = 1038;  // "Yes"
inline constexpr int kAweNo = 1039;   // "No"
}  // namespace SettingsControl

// The radio buttons of the settings window, every group in order, for code that walks them all.
inline constexpr int kSettingsRadioIds[] = {
    SettingsControl::kRate44100,      SettingsControl::kRate48000,       SettingsControl::kRate88200,
    SettingsControl::kRate96000,      SettingsControl::kRate176400,      SettingsControl::kRate192000,
    SettingsControl::kDiagnosticsYes, SettingsControl::kDiagnosticsNo,   SettingsControl::kRepeat,
    SettingsControl::kStop,           SettingsControl::kRandom,          SettingsControl::kExit,
    SettingsControl::kConverterBest,  SettingsControl::kConverterMedium, SettingsControl::kZebYes,
    SettingsControl::kZebNo,          SettingsControl::kAweYes,          SettingsControl::kAweNo,
};

// What the settings window's user does, as the settings logic receives it. Called by the view
// on the window thread, from inside SettingsView::runModal. "About" is the view's own business.
class SettingsController {
  public:
    virtual ~SettingsController() = default;

    // Once, at the start of the modal run, before the user can act: fills the controls.
    virtual void onInitDialog() = 0;
    // The user chose another item in the driver list (1007).
    virtual void onDriverSelectionChanged() = 0;
    // "ASIO Settings" (1021) was clicked.
    virtual void onAsioSettings() = 0;
    // "OK" (1) or Enter. The window closes only when the logic calls SettingsView::endDialog.
    virtual void onOK() = 0;
    // "Cancel" (2), Escape or the close box. Same rule as onOK.
    virtual void onCancel() = 0;
};

// The settings window as the settings logic drives it: caption "Ravek Settings", the groups
// " ASIO selection " (driver list, pair list, "ASIO Settings") and " Player settings " (the
// other controls), OK, Cancel and About. Radio buttons keep one button per group checked when
// the user clicks, as automatic radio buttons do; setChecked only changes the button it names.
// Every method is called on the window thread.
class SettingsView {
  public:
    virtual ~SettingsView() = default;

    // Shows the window modally: calls controller.onInitDialog() once, then delivers the user's
    // actions until endDialog is called. Returns the result given to endDialog
    // (SettingsControl::kOK or kCancel).
    virtual int runModal(SettingsController& controller) = 0;
    // Ends the modal run with this result; runModal returns once the current handler returned.
    virtual void endDialog(int result) = 0;
    // Hides the window at once (before it is closed).
    virtual void hide() = 0;

    // A modal message box owned by the settings window, one OK button; "\r\n" line ends.
    virtual void showMessageBox(const std::string& text, const std::string& caption) = 0;

    // Enables or disables a control by its SettingsControl id.
    virtual void enableControl(int controlId, bool enabled) = 0;
    // Sets the caption of a button (used for "ASIO Settings", 1021).
    virtual void setControlText(int controlId, const std::string& text) = 0;

    // Checks or clears one radio button.
    virtual void setChecked(int controlId, bool checked) = 0;
    virtual bool isChecked(int controlId) const = 0;

    // The two drop-down lists (kDriverList, kPairList). Items keep the order in which they are
    // added: the logic adds the driver names already sorted.
    virtual void clearCombo(int controlId) = 0;
    virtual void addComboItem(int controlId, const std::string& text) = 0;
    virtual int comboCount(int controlId) const = 0;
    virtual std::string comboItemText(int controlId, int index) const = 0;
    // Selects an item; -1, or an index that names no item, clears the selection.
    virtual void setComboSelection(int controlId, int index) = 0;
    // The selected item, or -1 when none is selected.
    virtual int comboSelection(int controlId) const = 0;
};

}  // namespace quoril
