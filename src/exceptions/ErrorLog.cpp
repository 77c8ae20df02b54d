// The error log: the static side of Exception.
#include "zel/Exception.h"
#include "zel/Lock.h"
#include "zel/StringUtil.h"

#include "base/Immortal.h"
#include "base/ObjectName.h"
#include "exceptions/Format.h"
#include "platform/CallDeadline.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/LogFile.h"
#include "platform/Time.h"
#include "platform/TrustedPath.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace zel {

namespace {

// The process-wide recursive lock of the log, built when the library loads and
// never destroyed: a line logged by a thread still running while the process
// exits, or by a host's global destructor, still finds it (docs/foundation.md).
// NOLINTNEXTLINE(cert-err58-cpp) // only sets up the native lock, which cannot throw
base::Immortal<AutoCriticalSection> ErrorLogLock;

const long long kRotateAbove = 10000000; // bytes, not 10 MiB
const std::size_t kRotatedNameKeep = 1018;
const char kLogFolder[] = "Corvane";
const char kLogFile[] = "ZELError.txt";
const char kOlderSuffix[] = ".001";
const std::size_t kDataFolderBuffer = 512;
// The most one line waits for the log's locks. A line inside a call that has its
// own deadline (the shared objects' calls) takes what is left of that instead.
const unsigned int kLineMs = 1000;

// The default location: <data folder>/Corvane/ZELError.txt, creating Corvane
// (one level) when it is missing; the fallback path when that cannot be had or
// is not to be trusted. `refused` then tells why the folder was not trusted.
std::string ChooseDefaultLocation(std::string& refused) {
    std::string folder;
    if (platform::MachineDataFolder(folder)) {
        const char sep = platform::PathSeparator();
        std::string corvane = folder + sep + kLogFolder;
        std::string candidate = corvane + sep + kLogFile;
        if (candidate.size() < kDataFolderBuffer) {
            // Made with its explicit access rules; one another account made or
            // owns is not this process's to log into.
            if (platform::StatPath(corvane.c_str()) != platform::PathKind::Directory)
                platform::trust::CreateLogFolder(corvane);
            std::string why;
            if (platform::trust::TrustedLogFolder(corvane, why))
                return candidate;
            if (!why.empty())
                refused = "the folder " + base::EscapedText(corvane) + " is not used: " + why;
        }
    }
    return platform::FallbackLogLocation();
}

// The older generation's name: the log's path cut to 1,018 characters, then ".001".
// Filled into a buffer that is never destroyed (exit-time lines use it too): every
// caller holds ErrorLogLock, and a line then allocates nothing for the name.
const char* OlderGeneration(const char* path) {
    static base::Immortal<std::string> older;
    older->assign(path, std::min<std::size_t>(std::strlen(path), kRotatedNameKeep));
    *older += kOlderSuffix;
    return older->c_str();
}

// The lasting notice of the platform last written to the log: a rotation that
// stays blocked is reported once, not on every line. Guarded by ErrorLogLock.
base::Immortal<std::string> g_lastingNotice;

// Why the default folder was passed over for the fallback, said after the next
// line and then forgotten. Guarded by ErrorLogLock.
base::Immortal<std::string> g_locationNotice;

// Writes one "Error log:" line about the log itself, never rotating for it.
void Report(const char* path, const std::string& notice, const char* stamp) {
    std::string report = std::string("[") + stamp + "] Mirror Error: Error log: " + notice + "\n";
    platform::AppendLogLine(path, OlderGeneration(path), platform::kNeverRotate, report.data(),
                            report.size());
}

// Chooses the default location and keeps why the default folder was passed
// over, if it was (a location a host sets forgets it).
void UseDefaultLocation() {
    std::string notice;
    const std::string chosen = ChooseDefaultLocation(notice);
    Exception::SetErrorLogLocation(chosen.c_str());
    g_locationNotice->swap(notice);
}

// Appends one line and reports what the platform had to say about it.
void AppendLine(const char* path, long long rotateAbove, const std::string& line,
                const char* stamp) {
    platform::LogAppend done =
        platform::AppendLogLine(path, OlderGeneration(path), rotateAbove, line.data(), line.size());
    if (done.lasting) {
        if (done.notice == *g_lastingNotice)
            return;
        *g_lastingNotice = done.notice;
    } else {
        g_lastingNotice->clear();
    }
    if (!done.notice.empty())
        Report(path, done.notice, stamp);
}

} // namespace

char Exception::ErrorLogLocation[Exception::MaxPathSize] = "";
bool Exception::m_mirrorErrorToLog = false;

void Exception::MirrorErrorMessage(const char* method, const char* message, bool force) {
    platform::CallDeadline bound(kLineMs);
    Guard guard(*ErrorLogLock);
    if (!m_mirrorErrorToLog && !force)
        return;
    try {
        const char* head = method != nullptr ? method : "NULL Method";
        const char* body = message != nullptr ? message : "NULL Message";

        // The size check and the append are one task of the platform. The very
        // first line, which chooses the location, does not rotate.
        long long rotateAbove = kRotateAbove;
        if (ErrorLogLocation[0] == '\0') {
            UseDefaultLocation();
            rotateAbove = platform::kNeverRotate;
        }

        // The stamp of the current second, laid out once per second (under
        // ErrorLogLock). The platform calls directly, not util::asctime, whose
        // failures would throw exceptions that log again.
        static long long stampSecond = -1;
        static char stamp[256];
        static std::size_t n = 0;
        const long long now = platform::CurrentTime();
        if (now != stampSecond || n == 0) {
            std::tm local{};
            platform::ToLocal(now, local);
            platform::FormatAscTime(local, stamp, sizeof stamp);
            stamp[255] = '\0';
            n = std::strlen(stamp);
            if (n > 0)
                stamp[--n] = '\0'; // drop the layout's newline
            stampSecond = now;
        }

        // One buffer, one write: lines of other threads and processes never mix.
        // The buffer is kept (under ErrorLogLock, never destroyed) so that a line
        // allocates nothing.
        static base::Immortal<std::string> kept;
        std::string& line = *kept;
        line.clear();
        line += '[';
        line.append(stamp, n);
        line += "] ";
        line += head;
        line += body;
        line += '\n';
        AppendLine(ErrorLogLocation, rotateAbove, line, stamp);
        if (!g_locationNotice->empty()) {
            Report(ErrorLogLocation,
                   *g_locationNotice + "; this process logs to " + ErrorLogLocation + " instead",
                   stamp);
            g_locationNotice->clear();
        }
    } catch (...) {
        // The log never reports its own failures.
    }
}

void Exception::VMirror(const char* prefix, const char* formatErrorPrefix, const char* format,
                        va_list arguments) {
    Guard guard(*ErrorLogLock);
    char buffer[detail::kFormatBufferSize];
    int length = detail::FormatText(buffer, format, arguments);
    if (length > 0)
        MirrorErrorMessage(prefix, buffer, true);
    else
        MirrorErrorMessage(formatErrorPrefix, format != nullptr ? format : "", true);
}

void Exception::error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VMirror("Mirror Error: ", "Mirror Error Format Error: ", format, args);
    va_end(args);
}

void Exception::trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VMirror("Mirror TRACE: ", "Mirror TRACE Format Error: ", format, args);
    va_end(args);
}

void Exception::CheckOldLogSize() {
    Guard guard(*ErrorLogLock);
    if (ErrorLogLocation[0] == '\0')
        return;
    try {
        // Creates a missing file and rotates a full one; writes no line.
        platform::AppendLogLine(ErrorLogLocation, OlderGeneration(ErrorLogLocation), kRotateAbove,
                                "", 0);
    } catch (...) {
    }
}

bool Exception::LockLogFile(int fd, bool lock) {
    if (fd == -1)
        return false;
    return platform::LockLogDescriptor(fd, lock);
}

void Exception::SetErrorLogLocation(const char* path) {
    Guard guard(*ErrorLogLock);
    g_locationNotice->clear();
    try {
        if (path == nullptr) {
            ErrorLogLocation[0] = '\0';
            return;
        }
        // A path that does not fit is refused rather than cut to another file's name.
        if (std::strlen(path) >= MaxPathSize)
            return;
        util::strcpy(ErrorLogLocation, MaxPathSize, path);
        ErrorLogLocation[MaxPathSize - 1] = '\0';
    } catch (...) {
    }
}

std::string Exception::GetErrorLogLocation() {
    Guard guard(*ErrorLogLock);
    return ErrorLogLocation;
}

std::string Exception::ChooseErrorLogLocation() {
    Guard guard(*ErrorLogLock);
    try {
        if (ErrorLogLocation[0] == '\0')
            UseDefaultLocation();
    } catch (...) {
        // Memory exhaustion: answer with what is known.
    }
    return ErrorLogLocation;
}

void Exception::SetMirrorErrorLog(bool mirror) {
    Guard guard(*ErrorLogLock);
    m_mirrorErrorToLog = mirror;
}

bool Exception::GetMirrorErrorLog() {
    Guard guard(*ErrorLogLock);
    return m_mirrorErrorToLog;
}

bool Exception::GetLastErrorMsg(std::string& text) {
    unsigned long code = platform::LastErrorCode();
    if (code == 0)
        return false;
    return platform::ErrorText(code, text);
}

} // namespace zel
