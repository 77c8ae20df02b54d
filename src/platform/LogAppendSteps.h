// The steps of appending one line to the error log, the same on every system:
// open the log (moving anything that is not a log file out of the way), rotate it
// when it is full (under the rotation lock, after checking again that the name
// still holds the file measured), then write the whole line or nothing. The
// backends of LogFile.h supply the system calls through a `File` type:
//
//   LogOpened Open(const char* path, unsigned int createMode);
//                                          Log, NotALog, Refused or Failed
//   std::string Why() const;               why it was Refused
//   long long OpenedSize() const;          size seen when it was opened
//   long long CurrentSize() const;         size now, -1 when it cannot be read
//   bool StillAt(const char* path) const;  the name still holds the opened file
//   bool LockRotation(std::string& notice, std::string& blocked);
//                                          wait for the rotation lock within the
//                                          call's deadline; notice: what squatted
//                                          it, if moved; blocked: why it failed
//   unsigned int ModeForNext() const;      rights for the fresh log (0: default)
//   void UnlockRotation();
//   bool Write(const char* line, std::size_t length);  whole line or nothing
//   bool Rename(const char* from, const char* to, std::string& error);
//   std::string MoveAside(const char* path);    notice, "" when nothing moved
//
// The file is closed by the File's destructor.
#pragma once

#include "platform/LogFile.h"

#include <cstddef>
#include <string>

namespace zel {
namespace platform {

// Refused: what is at the name is the caller's own (or the way to it is not to be
// trusted) and is left as it is; the line is dropped and the reason reported.
enum class LogOpened { Log, NotALog, Refused, Failed };

// Rotates the full log open in `file`. True when the name now holds another file
// (or none), so the caller opens again; `notice` tells what blocked a rotation.
template <class File>
bool RotateLog(File& file, const char* path, const char* older, long long limit,
               std::string& notice) {
    std::string blocked;
    if (!file.LockRotation(notice, blocked)) {
        if (!blocked.empty())
            notice += std::string(notice.empty() ? "" : "; ") + "the log " + path +
                      " is over its size limit and was not rotated: " + blocked;
        return false;
    }
    bool again = true;
    if (file.StillAt(path)) {
        again = false;
        if (file.CurrentSize() > limit) {
            // The rename replaces the older generation in one step; only something
            // that is not a file (a folder) at the older name stops it.
            std::string error, ignored;
            if (file.Rename(path, older, error)) {
                again = true;
            } else {
                std::string moved = file.MoveAside(older);
                if (!moved.empty() && file.Rename(path, older, ignored)) {
                    notice = moved;
                    again = true;
                } else {
                    notice = std::string("the log ") + path +
                             " is over its size limit and could not be renamed to " + older + ": " +
                             error;
                }
            }
        }
    }
    file.UnlockRotation();
    return again;
}

template <class File>
LogAppend AppendWithRotation(const char* path, const char* olderPath, long long rotateAbove,
                             const char* line, std::size_t length) {
    LogAppend result;
    if (path == nullptr || *path == '\0')
        return result;
    // At most: squatter moved, rotated, then the fresh file, which keeps the
    // rights of the one rotated.
    unsigned int createMode = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        File file;
        LogOpened opened = file.Open(path, createMode);
        if (opened == LogOpened::NotALog) {
            std::string moved = file.MoveAside(path);
            if (moved.empty())
                return result; // the line is dropped
            result.notice = moved;
            continue;
        }
        if (opened == LogOpened::Refused) {
            result.notice = file.Why();
            result.lasting = true;
            return result;
        }
        if (opened == LogOpened::Failed)
            return result;
        if (rotateAbove >= 0 && olderPath != nullptr && file.OpenedSize() > rotateAbove) {
            std::string notice;
            bool again = RotateLog(file, path, olderPath, rotateAbove, notice);
            if (!notice.empty()) {
                result.notice = notice;
                result.lasting = !again;
            }
            if (again) {
                createMode = file.ModeForNext();
                rotateAbove = kNeverRotate; // the fresh file is never full
                continue;
            }
        }
        result.written = file.Write(line, length);
        return result;
    }
    return result;
}

} // namespace platform
} // namespace zel
