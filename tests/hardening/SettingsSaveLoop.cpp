// A process that saves the settings file over and over, for the test that kills it mid-save.
//   settings_save_loop <settings file>
// Writes the first record, then one byte to stdout once that save is complete, then alternates
// between the two records until it is killed.

#include <unistd.h>

#include <cstdio>

#include "SaveLoopRecords.h"
#include "config/SettingsFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_save_loop <settings file>\n");
        return 2;
    }
    quoril::Settings& s = quoril::settings();
    bool second = false;
    for (long n = 0;; ++n) {
        s = quoril::test::saveLoopRecord(second);
        s.iniPath = argv[1];
        if (!quoril::saveSettings(quoril::SaveForm::Confirm, s.volumeDb)) {
            std::fprintf(stderr, "save %ld failed\n", n);
            return 1;
        }
        if (n == 0 && write(STDOUT_FILENO, "+", 1) != 1) {
            return 1;
        }
        second = !second;
    }
}
