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

// The root of the family. Holds a stack of (message, location) entries, oldest
// first. Not derived from std::exception: a handler for the standard exceptions
// does not catch it. One object must be used by one thread at a time; the log
// operations (the static members) may be called from any thread.
class ZEL_API Exception {
public:
    // An empty exception: no messages; writes nothing to the log.
    Exception();
    // Pushes one printf-style message and logs it as an "Error: " line. A format
    // that produces no text (empty, "%s" of "", a formatting error, or a null
    // format) pushes nothing and logs "Format Error: " + the raw format (nothing
    // for a null one). Throws std::bad_alloc when memory runs out.
    // Not explicit: a text converts, so `throw` and copy-initialisation take one.
    //   zel::Exception e("open %s failed", "a.txt");   // e.getAt(): "open a.txt failed"
    //   zel::Exception f = "disk full";               // the text is the format
    Exception(const char* format, ...);
    // Same messages and locations; delayed logging off; writes nothing.
    Exception(const Exception& other);
    // With delayed logging on, first writes every message to the log as an
    // "Error: " line. Never throws.
    virtual ~Exception();
    // Copies the message stack; keeps this object's delayed-logging flag and
    // empties the message block. There is no move: moving copies.
    Exception& operator=(const Exception& other);

    // Throws a plain Exception copy of this object (delayed logging off), whatever
    // its dynamic type; TimeoutException overrides it to keep its type.
    virtual void rethrow();

    // Pushes one printf-style message, exactly as the formatting constructor; the
    // line is not written while delayed logging is on.
    //   e.appendMessage("%s::%s: Exception caught", "Reader", "Open");
    void appendMessage(const char* format, ...);
    // While true, pushed messages are not logged; the destructor then logs all
    // messages (including any logged before). Copies always start with it off.
    void setDelayedLogging(bool delayed);

    // The number of messages.
    unsigned int getMessageTotal() const;
    // Message `index` (0 is the oldest); "" past the end, never null.
    const char* getErrorMessage(unsigned int index) const;
    // The oldest message, or null when there is none.
    const char* getAt() const;
    // All messages joined by `separator`, no separator before the first or after
    // the last; locations are left out. A null separator joins with nothing. The
    // result points into this object and lives until the object changes; on
    // memory exhaustion it is "Failed to convert exception messages".
    //   messages "a", "b", "c" with "; "   ->  "a; b; c"
    const char* getCharErrorMessageBlock(const char* separator) const;
    // Replaces the location of the newest message; nothing without messages.
    // A null location gives an empty location. Locations are never logged.
    void defineLocation(const char* location);
    // Copies messages and locations out, resizing both vectors to the number of
    // messages; with `clear` true, then removes all messages.
    void dumpStack(std::vector<std::string>& messages, std::vector<std::string>& locations,
                   bool clear);
    // Writes every message to the log as an "Error: " line, oldest first.
    void mirrorAllMessages() const;
    // Removes every message; the object stays usable.
    void clear();

    // ---- The error log (process-wide; every operation may run on any thread) ----
    //
    // Each line: "[" + local time "Www Mmm dd hh:mm:ss yyyy" + "] " + prefix + text,
    // written in one piece, so lines of different threads and processes never mix.
    // Windows writes CR LF line ends (text mode), Linux a line feed. Before each
    // line a log larger than 10,000,000 bytes is renamed to <log>.001, replacing
    // an older one. Nothing here reports its own failures: a line that cannot be
    // written is dropped.
    //
    // Default location, chosen at the first line while none is set:
    //   Windows  <ProgramData>\Corvane\ZELError.txt, fallback C:\ZELError.txt
    //   Linux    /var/lib/Corvane/ZELError.txt,      fallback /var/tmp/ZELError.txt
    // The Corvane folder is created when missing (one level); the fallback is used
    // when it cannot be. On Linux it is created with mode 0755: only its owner (root)
    // adds files to it. Only a regular file with one link is written to; anything
    // else at the log's name is moved to <log>.blocked and reported in the log.

    // Formats a printf-style text (at most 7,999 characters) and writes it as a
    // "Mirror Error: " line; a format that produces no text (a null one included)
    // writes "Mirror Error Format Error: " + the raw format. Independent of the
    // mirroring switch.
    //   zel::Exception::error("x=%d", 5);   // [Tue Nov 01 09:05:07 2022] Mirror Error: x=5
    static void error(const char* format, ...);
    // The same with "Mirror TRACE: " and "Mirror TRACE Format Error: ".
    static void trace(const char* format, ...);
    // Sets the full path of the log file. An empty or null path returns to the
    // default location at the next line. A path of 1,024 characters or more is
    // refused and the location stays as it was (never cut to another name).
    // Nothing is opened or created here; a path in a missing folder loses every
    // line silently.
    static void SetErrorLogLocation(const char* path);
    // The mirroring switch (off at load). It gates only MirrorErrorMessage calls
    // with `force` false; the library's own lines are always written.
    static void SetMirrorErrorLog(bool mirror);
    static bool GetMirrorErrorLog();
    // The system's text for the calling thread's last error code, line end
    // included as the system gives it: FormatMessageA of GetLastError() on
    // Windows ("...\r\n"), strerror of errno plus "\n" on Linux. False, `text`
    // unchanged, when the code is 0 or the system has no text for it. Takes no lock.
    static bool GetLastErrorMsg(std::string& text);

    // The current log path; empty while no location has been chosen yet. An
    // addition of this library to the inherited interface (the inherited class
    // has no way to read the location back); the zel tool reports it.
    static std::string GetErrorLogLocation();
    // The file the next line goes to: the current log path, or, while none has
    // been chosen, the default location chosen now exactly as the first line
    // would choose it (creating the Corvane folder when it is missing).
    //   zel::Exception::ChooseErrorLogLocation();   // "/var/lib/Corvane/ZELError.txt"
    static std::string ChooseErrorLogLocation();

protected:
    // Formats and pushes one message (see the formatting constructor).
    void SetMessageOnStack(const char* format, va_list arguments);
    // Copies other's messages and locations; empties the message block.
    void AssignFrom(const Exception& other);
    // Removes every message; the delayed-logging flag is kept.
    void CleanAll();
    // Writes one line `method` + `message` when mirroring is on or `force` is
    // true; null texts are written as "NULL Method" / "NULL Message".
    static void MirrorErrorMessage(const char* method, const char* message, bool force);

private:
    static void CheckOldLogSize();
    static bool LockLogFile(int fd, bool lock);
    static void VMirror(const char* prefix, const char* formatErrorPrefix, const char* format,
                        va_list arguments);

    // Capacity of the log path, terminator included; defined once in the library
    // and exported with the class, like the two items below.
    static const unsigned int MaxPathSize = 1024;
    static char ErrorLogLocation[MaxPathSize];
    static bool m_mirrorErrorToLog;

    std::vector<std::pair<std::string, std::string>> m_messageStack;
    bool m_delayedLogging;
    mutable std::string m_messageBlock;
};

// The six classes below fix the message their constructors push (each logged as
// an "Error: " line like any other); copies, moves and assignments behave as
// Exception's copy (a move leaves the source unchanged). Only TimeoutException
// keeps its type through rethrow().
//
// Example:
//   try { throw zel::InvalidIndexException(5, 3); }
//   catch (zel::Exception& e) {
//       e.getAt();  // "An invalid index value (5) has been detected; legal values are between 0
//       and 3"
//   }

// The moves of the exception classes copy, and may allocate:
// NOLINTBEGIN(performance-noexcept-move-constructor)
// A parameter value that is not recognised.
class ZEL_API BadParameterException : public Exception {
public:
    // "Parameter \"<parameter>\" value \"<value>\" is unrecognized; perhaps your
    // system components need updating?" (a null text is written as "(null)", as
    // the C runtimes of both platforms print a null %s).
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
    // copies: may allocate
    MemoryException& operator=(const MemoryException& other);
    MemoryException& operator=(MemoryException&& other);
    virtual ~MemoryException();
};

// An interface or operation that is not supported: "Unsupported interface: <name>"
// (nothing after the colon and blank for a null name).
class ZEL_API NotImplementedException : public Exception {
public:
    NotImplementedException(const char* name);
    NotImplementedException(const NotImplementedException& other);
    NotImplementedException(NotImplementedException&& other);
    NotImplementedException& operator=(const NotImplementedException& other);
    NotImplementedException& operator=(NotImplementedException&& other);
    virtual ~NotImplementedException();
};

// A named index outside a range: "<name>: Index \"<index>\" out of range: [<low>,<high>]"
// (a null name is written as "(null)").
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
    // The caller's printf-style message, as Exception(const char* format, ...).
    TimeoutException(const char* format, ...);
    TimeoutException(const TimeoutException& other);
    TimeoutException(TimeoutException&& other);
    // copies: may allocate
    TimeoutException& operator=(const TimeoutException& other);
    TimeoutException& operator=(TimeoutException&& other);
    virtual ~TimeoutException();
    // Throws a TimeoutException copy: catchable as TimeoutException or Exception.
    void rethrow() override;
};
// NOLINTEND(performance-noexcept-move-constructor)

} // namespace zel
