// ZELBase console keyboard input.
//
// `ConsoleIO` reads one key press without waiting for the end of a line and
// without echoing it, and tells whether a key press is waiting. It holds no data;
// any number of objects share the process's one console input, so two threads
// reading keys at the same time compete for the same key presses.
//
// Keys that the Windows console reports as two codes (arrows, Home, End, Page Up,
// Page Down, Insert, Delete, F1 to F12) take two calls of GetChar: first the
// prefix, 0 (F1 to F10) or 0xE0 (-32 as a signed char; the others), then the key's
// code, e.g. Up arrow 0xE0 0x48, Down 0xE0 0x50, Left 0xE0 0x4B, Right 0xE0 0x4D,
// Delete 0xE0 0x53, F1 0 0x3B. Enter gives 13.
//
// Windows: forwards to the runtime's _getch and _kbhit.
// Linux, stdin a terminal: each call switches the terminal to unechoed,
// non-canonical input for its own duration and restores the previous settings
// before it returns, also when the process is ended by SIGINT, SIGTERM, SIGHUP or
// SIGQUIT during the call. Escape sequences of the cursor, editing and function
// keys are turned into the two Windows codes above, Backspace (DEL, 127) into 8
// and Enter into 13, so code written for Windows works unchanged. Keys typed while
// neither call runs are handled by the terminal as usual (echoed) and are read by
// the next call. Linux, stdin not a terminal: GetChar reads the next byte as it is
// (-1 at the end of the input), KeyBoardHit tells whether a byte can be read
// without waiting.
//
// Example:
//   zel::ConsoleIO con;
//   while (!con.KeyBoardHit()) { /* other work */ }
//   char c = con.GetChar();          // 'q' for q; 0 or -32 for a two-code key
//   if (c == 0 || c == -32)
//       c = con.GetChar();           // 0x48 for the Up arrow
#pragma once

#include "zel/Export.h"

namespace zel {

class ZEL_API ConsoleIO {
public:
    ConsoleIO();
    ConsoleIO(const ConsoleIO& other);
    // Returns this object; nothing to copy.
    ConsoleIO& operator=(const ConsoleIO& other);
    virtual ~ConsoleIO();

    // Waits for one key press and returns it, without echo or line buffering. The
    // code is narrowed to char (0xE0 arrives as -32).
    char GetChar();
    // Non-zero when a key press is waiting to be read, zero otherwise. Never waits.
    int KeyBoardHit();
};

} // namespace zel
