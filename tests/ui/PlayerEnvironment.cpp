#include "ui/PlayerEnvironment.h"

#include <cstdlib>
#include <numeric>
#include <thread>

#include "platform/CFormat.h"
#include "support/WavWriter.h"

namespace quoril::test {

PlayerEnvironment::PlayerEnvironment(const std::string& captureSpeed) {
    const std::string kCaptureClassId = "{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913}";
    std::string reg =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\r\n\"Path\"=\"" +
        m_dir.path() + "\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Quoril Capture]\r\n";
    reg += "\"clsid\"=\"" + kCaptureClassId + "\"\r\n\"description\"=\"Quoril Capture\"\r\n";
    reg += "\"Speed\"=\"" + captureSpeed + "\"\r\n\"File\"=\"" + m_dir.file("capture.wav") + "\"\r\n\r\n";
    reg += "[HKEY_CLASSES_ROOT\\clsid\\" + kCaptureClassId + "\\InprocServer32]\r\n";
    reg += "@=\"" + buildDir() + "/lib/quoril/drivers/quoril-capture.so" + "\"\r\n";
    m_dir.write("registry.reg", reg);

    setenv("QUORIL_REGISTRY", m_dir.file("registry.reg").c_str(), 1);
    setenv("HOME", m_dir.path().c_str(), 1);
    setenv("QUORIL_DRIVER_SETTLE_MS", "0", 1);
    setSettingsInstance(&m_settings);
}

PlayerEnvironment::~PlayerEnvironment() {
    setSettingsInstance(nullptr);
    unsetenv("QUORIL_REGISTRY");
}

void PlayerEnvironment::writeIni(const std::vector<std::string>& extraLines, int rate, bool diagnostics) {
    std::vector<std::string> lines = {
        "ASIO=Quoril Capture",    "ASIOCHANNEL=0", "SRC=1",
        cformat("RATE=%d", rate), "VOLUME=-10.0",  diagnostics ? "DIAGNOSTICS=Yes" : "DIAGNOSTICS=No"};
    lines.insert(lines.end(), extraLines.begin(), extraLines.end());
    writeIniLines(lines);
}

void PlayerEnvironment::writeIniLines(const std::vector<std::string>& lines) {
    m_dir.write("Quoril.ini", std::accumulate(lines.begin(), lines.end(), std::string(),
                                              [](std::string text, const std::string& line) {
                                                  return text + line + "\n";
                                              }));
}

std::string PlayerEnvironment::writeDisc(const std::vector<int>& trackFrames,
                                         const std::vector<std::string>& titles) {
    WavWriter wav(16, 2, 8000);
    wav.samples(makeSamples(std::accumulate(trackFrames.begin(), trackFrames.end(), size_t(0)), 16, 2, 7));
    wav.write(m_dir.file("disc.wav"));

    std::string cue = "PERFORMER \"The Testers\"\r\nTITLE \"Fixture Album\"\r\nFILE \"disc.wav\" WAVE\r\n";
    // Cue sheet times are in CD frames (75 a second): the tracks start on whole seconds here.
    int64_t start = 0;
    for (size_t i = 0; i < trackFrames.size(); ++i) {
        int64_t seconds = start / 8000;
        const std::string title = i < titles.size() ? titles[i] : cformat("Track %zu", i + 1);
        cue += cformat("  TRACK %02d AUDIO\r\n    TITLE \"%s\"\r\n    INDEX 01 %02lld:%02lld:00\r\n",
                       static_cast<int>(i + 1), title.c_str(), static_cast<long long>(seconds / 60),
                       static_cast<long long>(seconds % 60));
        start += trackFrames[i];
    }
    return m_dir.write("disc.cue", cue);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    for (auto end = std::chrono::steady_clock::now() + deadline; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
        if (condition()) {
            return true;
        }
    }
    return condition();
}

}  // namespace quoril::test
