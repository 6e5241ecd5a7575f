#include <cstdio>
#include <cstring>

#include "app/Commands.h"

namespace {

void printUsage() {
    std::fputs(
        "usage: quoril [PATH]                         play a .cue, .wav or .flac file in the window\n"
        "       quoril --console [PATH]               play without a window\n"
        "       quoril --check [--load] PATH          validate a disc (and load it into RAM)\n"
        "       quoril --register [--install-dir DIR] register the installation and its drivers\n"
        "       quoril --version\n",
        stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2) {
        const char* mode = argv[1];
        if (std::strcmp(mode, "--register") == 0) {
            return quoril::runRegisterCommand(argc, argv);
        }
        if (std::strcmp(mode, "--check") == 0) {
            return quoril::runCheckCommand(argc, argv);
        }
        if (std::strcmp(mode, "--console") == 0) {
            return quoril::runPlayer(argc, argv, true);
        }
        if (std::strcmp(mode, "--version") == 0) {
            std::printf("quoril %s\n", QUORIL_VERSION);
            return 0;
        }
        if (std::strcmp(mode, "--help") == 0 || std::strcmp(mode, "-h") == 0) {
            printUsage();
            return 0;
        }
        if (mode[0] == '-' && mode[1] == '-') {
            printUsage();
            return 2;
        }
    }
    return quoril::runPlayer(argc, argv, false);
}
