// The error log: the static side of Exception.
#include "zel/Exception.h"
#include "zel/Lock.h"
#include "zel/StringUtil.h"

#include "exceptions/Format.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

#include <cstring>
#include <string>

namespace zel {

namespace {

// The process-wide recursive lock of the log, built when the library loads.
AutoCriticalSection ErrorLogLock;

const long long kRotateAbove = 10000000; // bytes, not 10 MiB
const std::size_t kRotatedNameKeep = 1018;
const char kLogFolder[] = "Corvane";
const char kLogFile[] = "ZELError.txt";
const char kOlderSuffix[] = ".001";
const std::size_t kDataFolderBuffer = 512;

// The default location: <data folder>/Corvane/ZELError.txt, creating Corvane
// (one level) when it is missing; the fallback path when that cannot be had.
std::string ChooseDefaultLocation() {
    std::string folder;
    if (platform::MachineDataFolder(folder)) {
        const char sep = platform::PathSeparator();
        std::string corvane = folder + sep + kLogFolder;
        std::string candidate = corvane + sep + kLogFile;
        if (candidate.size() < kDataFolderBuffer) {
            if (platform::StatPath(corvane.c_str()) != platform::PathKind::Directory)
                platform::CreateOneDirectory(corvane.c_str());
            if (platform::StatPath(corvane.c_str()) == platform::PathKind::Directory)
                return candidate;
        }
    }
    return platform::FallbackLogPath();
}

} // namespace

char Exception::ErrorLogLocation[Exception::MaxPathSize] = "";
bool Exception::m_mirrorErrorToLog = false;

void Exception::MirrorErrorMessage(const char* method, const char* message, bool force) {
    Guard guard(ErrorLogLock);
    if (!m_mirrorErrorToLog && !force)
        return;
    try {
        std::string text = method != nullptr ? method : "NULL Method";
        text += message != nullptr ? message : "NULL Message";

        CheckOldLogSize();
        if (ErrorLogLocation[0] == '\0')
            SetErrorLogLocation(ChooseDefaultLocation().c_str());

        char stamp[256];
        // The platform calls directly (not util::asctime, whose failures would
        // throw exceptions that log again).
        std::tm local{};
        platform::ToLocal(platform::CurrentTime(), local);
        platform::FormatAscTime(local, stamp, sizeof stamp);
        stamp[255] = '\0';
        std::size_t n = std::strlen(stamp);
        if (n > 0)
            stamp[n - 1] = '\0'; // drop the layout's newline

        // One buffer, one write: lines of other threads and processes never mix.
        std::string line;
        line.reserve(text.size() + n + 4);
        line += '[';
        line += stamp;
        line += "] ";
        line += text;
        line += '\n';
        platform::AppendText(ErrorLogLocation, line.data(), line.size());
    } catch (...) {
        // The log never reports its own failures.
    }
}

void Exception::VMirror(const char* prefix, const char* formatErrorPrefix, const char* format,
                        va_list arguments) {
    Guard guard(ErrorLogLock);
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
    Guard guard(ErrorLogLock);
    if (ErrorLogLocation[0] == '\0')
        return;
    int fd = platform::OpenForWrite(ErrorLogLocation);
    if (fd == -1)
        return;
    long long size = 0;
    if (platform::DescriptorSize(fd, size) && size > kRotateAbove) {
        char older[MaxPathSize];
        std::size_t keep = std::strlen(ErrorLogLocation);
        if (keep > kRotatedNameKeep)
            keep = kRotatedNameKeep;
        std::memcpy(older, ErrorLogLocation, keep);
        std::memcpy(older + keep, kOlderSuffix, sizeof kOlderSuffix);
        if (platform::StatPath(older) != platform::PathKind::Missing)
            platform::RemoveFile(older);
        LockLogFile(fd, false);
        platform::CloseDescriptor(fd);
        platform::RenameFile(ErrorLogLocation, older);
        return;
    }
    LockLogFile(fd, false);
    platform::CloseDescriptor(fd);
}

bool Exception::LockLogFile(int fd, bool lock) {
    if (fd == -1)
        return false;
    return platform::LockDescriptor(fd, lock);
}

void Exception::SetErrorLogLocation(const char* path) {
    Guard guard(ErrorLogLock);
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
    Guard guard(ErrorLogLock);
    return ErrorLogLocation;
}

std::string Exception::ChooseErrorLogLocation() {
    Guard guard(ErrorLogLock);
    try {
        if (ErrorLogLocation[0] == '\0')
            SetErrorLogLocation(ChooseDefaultLocation().c_str());
    } catch (...) {
        // Memory exhaustion: answer with what is known.
    }
    return ErrorLogLocation;
}

void Exception::SetMirrorErrorLog(bool mirror) {
    Guard guard(ErrorLogLock);
    m_mirrorErrorToLog = mirror;
}

bool Exception::GetMirrorErrorLog() {
    Guard guard(ErrorLogLock);
    return m_mirrorErrorToLog;
}

bool Exception::GetLastErrorMsg(std::string& text) {
    unsigned long code = platform::LastErrorCode();
    if (code == 0)
        return false;
    return platform::ErrorText(code, text);
}

} // namespace zel
