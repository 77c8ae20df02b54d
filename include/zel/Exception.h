// ZELBase exceptions and the error log.
//
// Every failure of the library is reported by throwing an object of this family by
// value; catch it by reference as `zel::Exception&`. An exception carries an
// ordered stack of messages (oldest first), each with an optional location text.
// Pushing a message also writes it at once as one time-stamped line of the
// machine-wide error log, unless the object was switched to delayed logging.
//
// The catch-and-annotate pattern, used by the library and open to hosts:
//   try { ... }
//   catch (zel::Exception& e) {
//       e.appendMessage("%s::%s: Exception caught", "Component", "Function");
//       e.rethrow();   // TimeoutException stays one; every other class arrives as Exception
//   } catch (...) {
//       throw zel::Exception("%s::%s: Severe error caught", "Component", "Function");
//   }
//
// Error log: one line per message, "[Www Mmm dd hh:mm:ss yyyy] " + prefix + text,
// prefixes "Error: ", "Format Error: ", "Mirror Error: ", "Mirror TRACE: ",
// "Mirror Error Format Error: ", "Mirror TRACE Format Error: ". Default location:
// <machine data folder>/Corvane/ZELError.txt (C:\ProgramData\Corvane\ZELError.txt on
// Windows, /var/lib/Corvane/ZELError.txt on Linux); fallback C:\ZELError.txt
// (/var/tmp/ZELError.txt on Linux). A log larger than 10,000,000 bytes is renamed
// to <log>.001 (replacing an older one) before the next line. The log never
// reports its own failures: a line that cannot be written is dropped.
//
// Formats follow printf; "%hs" is always a narrow and "%ls" a wide text, on every
// platform. A formatted message keeps at most 7,999 characters. A null format is
// treated as a format that produced no text (a "Format Error: " line, nothing pushed).
//
// Thread safety: one Exception object must be used by one thread at a time; all
// log operations are serialised by a process-wide recursive lock, and each line
// reaches the file in one write, so lines of threads and processes never mix.
//
// Example:
//   try {
//       throw zel::Exception("open %s failed", "a.txt");
//   } catch (zel::Exception& e) {
//       e.getMessageTotal();                 // 1
//       e.getAt();                           // "open a.txt failed"
//   }
//   // log: [Tue Nov 01 09:05:07 2022] Error: open a.txt failed
#pragma once

#include "zel/Export.h"

#include <cstdarg>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class ZEL_API Exception {
public:
    // An empty exception: no messages; writes nothing to the log.
    Exception();
    // Pushes one printf-style message (and logs it).
    explicit Exception(const char* format, ...);
    // Same messages and locations; delayed logging off; writes nothing.
    Exception(const Exception& other);
    // With delayed logging on, first writes every message to the log. Never throws.
    virtual ~Exception();
    // Copies the message stack; keeps this object's delayed-logging flag.
    Exception& operator=(const Exception& other);

    // Throws a plain Exception copy of this object (TimeoutException overrides it).
    virtual void rethrow();

    // Pushes one printf-style message (and logs it unless logging is delayed).
    void appendMessage(const char* format, ...);
    // While true, pushed messages are not logged; the destructor logs them all.
    void setDelayedLogging(bool delayed);

    unsigned int getMessageTotal() const;
    // Message `index` (0 is the oldest); "" past the end, never null.
    const char* getErrorMessage(unsigned int index) const;
    // The oldest message, or null when there is none.
    const char* getAt() const;
    // All messages joined by `separator` (a null separator joins with nothing).
    // The result points into this object and lives until it changes.
    const char* getCharErrorMessageBlock(const char* separator) const;
    // Replaces the location of the newest message; nothing without messages.
    // A null location gives an empty location.
    void defineLocation(const char* location);
    // Copies messages and locations out; with `clear` true, then removes them.
    void dumpStack(std::vector<std::string>& messages, std::vector<std::string>& locations,
                   bool clear);
    // Writes every message to the log as an "Error: " line.
    void mirrorAllMessages() const;
    // Removes every message.
    void clear();

    // ---- The error log (process-wide, thread-safe) ----

    // Writes a "Mirror Error: " line.
    static void error(const char* format, ...);
    // Writes a "Mirror TRACE: " line.
    static void trace(const char* format, ...);
    // Sets the full path of the log file. An empty or null path returns to the
    // default location. A path of 1,024 characters or more is refused and the
    // location stays as it was. Nothing is opened or created here.
    static void SetErrorLogLocation(const char* path);
    static void SetMirrorErrorLog(bool mirror);
    static bool GetMirrorErrorLog();
    // The system's text for the thread's last error code (GetLastError on Windows,
    // errno elsewhere), line end included. False, `text` unchanged, when the code
    // is 0 or the system has no text for it.
    static bool GetLastErrorMsg(std::string& text);

    // The current log path; empty while no location has been chosen yet.
    static std::string GetErrorLogLocation();

protected:
    void SetMessageOnStack(const char* format, va_list arguments);
    void AssignFrom(const Exception& other);
    void CleanAll();
    // Writes one line when mirroring is on or `force` is true; null texts are
    // written as "NULL Method" / "NULL Message".
    static void MirrorErrorMessage(const char* method, const char* message, bool force);

private:
    static void CheckOldLogSize();
    static bool LockLogFile(int fd, bool lock);
    static void VMirror(const char* prefix, const char* formatErrorPrefix, const char* format,
                        va_list arguments);

    static const unsigned int MaxPathSize = 1024;
    static char ErrorLogLocation[MaxPathSize];
    static bool m_mirrorErrorToLog;

    std::vector<std::pair<std::string, std::string>> m_messageStack;
    bool m_delayedLogging;
    mutable std::string m_messageBlock;
};

// A parameter value that is not recognised.
class ZEL_API BadParameterException : public Exception {
public:
    // "Parameter \"<parameter>\" value \"<value>\" is unrecognized; perhaps your
    // system components need updating?" (a null text is written as "(null)").
    BadParameterException(const char* parameter, const char* value);
    BadParameterException(const BadParameterException& other);
    BadParameterException(BadParameterException&& other);
    BadParameterException& operator=(const BadParameterException& other);
    BadParameterException& operator=(BadParameterException&& other);
    virtual ~BadParameterException();
};

// An index outside the legal range of a container.
class ZEL_API InvalidIndexException : public Exception {
public:
    // Legal range 0..highest: "An invalid index value (5) has been detected; legal
    // values are between 0 and 3", or "...; there are zero items" when highest < 0.
    InvalidIndexException(int index, int highest);
    InvalidIndexException(int index, int low, int high);
    InvalidIndexException(const InvalidIndexException& other);
    InvalidIndexException(InvalidIndexException&& other);
    InvalidIndexException& operator=(const InvalidIndexException& other);
    InvalidIndexException& operator=(InvalidIndexException&& other);
    virtual ~InvalidIndexException();

private:
    void SetMessage(int index, int low, int high);
};

// An allocation that failed: "No more memory is available."
class ZEL_API MemoryException : public Exception {
public:
    MemoryException();
    MemoryException(const MemoryException& other);
    MemoryException(MemoryException&& other);
    MemoryException& operator=(const MemoryException& other);
    MemoryException& operator=(MemoryException&& other);
    virtual ~MemoryException();
};

// An interface or operation that is not supported: "Unsupported interface: <name>".
class ZEL_API NotImplementedException : public Exception {
public:
    explicit NotImplementedException(const char* name);
    NotImplementedException(const NotImplementedException& other);
    NotImplementedException(NotImplementedException&& other);
    NotImplementedException& operator=(const NotImplementedException& other);
    NotImplementedException& operator=(NotImplementedException&& other);
    virtual ~NotImplementedException();
};

// A named index outside a range: "<name>: Index \"<index>\" out of range: [<low>,<high>]".
class ZEL_API OutOfRangeException : public Exception {
public:
    OutOfRangeException(const char* name, int low, int high, int index);
    OutOfRangeException(const OutOfRangeException& other);
    OutOfRangeException(OutOfRangeException&& other);
    OutOfRangeException& operator=(const OutOfRangeException& other);
    OutOfRangeException& operator=(OutOfRangeException&& other);
    virtual ~OutOfRangeException();
};

// An operation that took longer than allowed. Keeps its type through rethrow().
class ZEL_API TimeoutException : public Exception {
public:
    // "Operation has overrun its specified timeout limit."
    TimeoutException();
    explicit TimeoutException(const char* format, ...);
    TimeoutException(const TimeoutException& other);
    TimeoutException(TimeoutException&& other);
    TimeoutException& operator=(const TimeoutException& other);
    TimeoutException& operator=(TimeoutException&& other);
    virtual ~TimeoutException();
    void rethrow() override;
};

} // namespace zel
