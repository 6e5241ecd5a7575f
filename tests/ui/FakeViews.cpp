#include "ui/FakeViews.h"

#include <algorithm>
#include <iterator>

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
    // The radio ids list the groups one after the other: rate, diagnostics, playback, upsampler,
    // zEB and AWE.
    const int* first = std::begin(kSettingsRadioIds);
    for (int size : {6, 2, 4, 2, 2, 2}) {
        if (std::find(first, first + size, radioId) != first + size) {
            std::for_each(first, first + size, [this](int id) { checked.erase(id); });
        }
        first += size;
    }
    checked.insert(radioId);
}

}  // namespace quoril::test
