#pragma once

namespace quoril {

// The ALSA driver's control panel. When the host runs a Qt window (a QApplication on this
// thread with a real display), a small modal dialog lists the playback devices and saves the
// chosen one as "Device"; otherwise the list is printed to stdout. The choice takes effect at the
// next session, because the device of the running session stays open. Window thread.
void showAlsaControlPanel();

}  // namespace quoril
