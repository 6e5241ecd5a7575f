#include "ui/FakeViews.h"

#include <algorithm>

namespace quoril::test {

int FakeSettingsView::runModal(SettingsController& controller) {
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

void FakeSettingsView::click(int radioId) {
    using namespace SettingsControl;
    static const std::vector<std::vector<int>> groups = {
        {kRate44100, kRate48000, kRate88200, kRate96000, kRate176400, kRate192000},
        {kDiagnosticsYes, kDiagnosticsNo},
        {kRepeat, kStop, kRandom, kExit},
        {kConverterBest, kConverterMedium},
        {kZebYes, kZebNo},
        {kAweYes, kAweNo}};
    for (const std::vector<int>& group : groups) {
        if (std::find(group.begin(), group.end(), radioId) != group.end()) {
            for (int id : group) {
                checked.erase(id);
            }
        }
    }
    checked.insert(radioId);
}

}  // namespace quoril::test
