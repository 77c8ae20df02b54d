// Terminal and standard-stream details of the tool. With NativeCalls.cpp, the
// only place in it that differs between Windows and POSIX systems.
#include "Tool.h"

#include "zel/ConsoleIO.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zeltool {

bool stdinIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool stdoutIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

bool stderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void setBinaryMode(bool input) {
#if defined(_WIN32)
    _setmode(_fileno(input ? stdin : stdout), _O_BINARY);
#else
    (void)input;
#endif
}

// Standard error is written as well as it goes: a failure there has nowhere
// else to be told.
// The most a typed key may hold: as much as a key file.
const std::size_t kMostTyped = 65536;

std::string promptHidden(const char* prompt) {
    (void)std::fputs(prompt, stderr);
    (void)std::fflush(stderr);
    zel::ConsoleIO console;
    std::string text;
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(console.GetChar());
        if (c == '\r' || c == '\n')
            break;
        if (c == 3 || c == 4 || c == 26) { // Ctrl-C, Ctrl-D, Ctrl-Z
            (void)std::fputc('\n', stderr);
            throw Failure("cancelled");
        }
        if (c == 0 || c == 0xE0) { // first code of a function or arrow key
            console.GetChar();
            continue;
        }
        if (c == 8 || c == 127) {
            if (!text.empty())
                text.pop_back();
            continue;
        }
        // A terminal that has gone gives the end of input as -1, which reads as
        // the byte 0xFF (a byte a key may hold): the bound of a key file ends
        // the prompt then, whatever the process does with SIGHUP.
        if (text.size() >= kMostTyped) {
            (void)std::fputc('\n', stderr);
            throw Failure("the key typed is longer than " + std::to_string(kMostTyped) +
                          " bytes, or the terminal has gone");
        }
        text += static_cast<char>(c);
    }
    (void)std::fputc('\n', stderr);
    return text;
}

void showProgress(const std::string& text) {
    static std::size_t shown = 0;
    std::string line = "\r" + text;
    if (text.size() < shown)
        line += std::string(shown - text.size(), ' ') + "\r" + text;
    shown = text.size();
    (void)std::fputs(line.c_str(), stderr);
    (void)std::fflush(stderr);
}

} // namespace zeltool
