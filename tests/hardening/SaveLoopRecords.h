#pragma once

#include <string>

#include "config/Settings.h"

namespace quoril::test {

// The two settings records the save loop writes in turn: an ordinary one and a longer one, so a
// file cut short or mixed from both could never pass for either.
inline Settings saveLoopRecord(bool second) {
    Settings s;
    s.asioDriverName = second ? std::string(300, 'D') : "Quoril Capture";
    s.channelPair = second ? 3 : 0;
    s.converterType = second ? 0 : 1;
    s.outputRate = second ? 96000.0 : 44100.0;
    s.volumeDb = second ? -12.5 : -30.0;
    s.phase = second ? 180 : 0;
    s.playbackMode = second ? 4 : 1;
    s.diagnostics = !second;
    s.fileFilterIndex = second ? 3 : 1;
    s.zebMode = second;
    s.useAwe = second;
    s.valid = true;
    return s;
}

}  // namespace quoril::test
