// The error log file: appending one line, rotating the file when it is full.
//
// The file is never held open between lines. Only a regular file with a single
// link is appended to: a link, a folder, a pipe or a device at the log's name is
// never opened for writing through. Rotation is serialised across processes by a
// lock on the log file itself, and re-checked under that lock, so a generation
// that another process has just rotated is never rotated again.
#pragma once

#include <cstddef>
#include <string>

namespace zel {
namespace platform {

// What came of one line.
struct LogAppend {
    // The whole line is in the file. When false, nothing of it can be read: a
    // write that stopped half-way is cut back off where appends are serialised
    // (Windows), else blanked in place (spaces ending in a line end).
    bool written = false;
    // Something the log's readers should know, "" when nothing happened: that the
    // file could not be rotated, and why, or that something which was not a log
    // file was moved away from the log's name or the older generation's name.
    std::string notice;
    // The notice tells of a condition that every line meets until its cause goes
    // away (a rotation that is blocked), not of a single event.
    bool lasting = false;
};

// No size limit: the file is never rotated.
const long long kNeverRotate = -1;

// Appends `line` (`length` bytes, lines ending in '\n'; Windows writes CR LF) to
// the log file at `path`, creating it when missing. Before that, when the file is
// larger than `rotateAbove` bytes, it is renamed to `olderPath`, replacing the
// older generation, and the line starts a fresh file. A `length` of 0 only
// creates the file and rotates it when due. Never throws.
LogAppend AppendLogLine(const char* path, const char* olderPath, long long rotateAbove,
                        const char* line, std::size_t length);

// Takes (`lock` true) without waiting, or releases, an exclusive lock on the whole
// byte range of the low-level descriptor `fd`; false on failure.
bool LockLogDescriptor(int fd, bool lock);

} // namespace platform
} // namespace zel
