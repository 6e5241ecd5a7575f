#pragma once

#include <string>

namespace quoril {

// Keys from standard input for the console player. On a terminal, input is switched to
// unbuffered mode without echo, so each key arrives as it is pressed (restored by restore() or
// the destructor); from a pipe or file, bytes arrive as they are written. One thread only.
class TerminalInput {
  public:
    enum class Result { Byte, Timeout, End, Source };

    TerminalInput();
    ~TerminalInput();
    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    // True when standard input / output is a terminal.
    static bool inputIsTerminal();
    static bool outputIsTerminal();

    // Switches a terminal to key-by-key input without echo (nothing for a pipe).
    void enterKeyMode();
    // Puts the terminal back as it was.
    void restore();

    // Waits at most timeoutMs milliseconds (negative: without limit) for one byte. End once
    // standard input has ended or failed; it stays ended. With a sourceFd, the wait also ends
    // with Source when that descriptor becomes readable (a byte waiting on both comes first);
    // after the end of input the wait goes on for sourceFd alone, when it has a limit, and gives
    // End at the timeout.
    Result readByte(int timeoutMs, char& byte, int sourceFd = -1);
    // Reads one line (without its line end) in the terminal's ordinary line mode. False at the
    // end of the input.
    bool readLine(std::string& line);

  private:
    bool m_keyMode = false;
    bool m_ended = false;
    bool m_saved = false;
    unsigned char m_savedState[128] = {};  // the terminal's state before enterKeyMode
};

}  // namespace quoril
