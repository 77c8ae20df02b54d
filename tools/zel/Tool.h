// Shared pieces of the zel command-line tool: error kinds, output helpers and the
// command entry points. The tool uses only the library's public headers.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zeltool {

// A failure of the command itself (exit status 1).
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

// A command line the command cannot act on (exit status 2).
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

// The exception's messages, oldest first, joined into one line.
std::string messageTrail(const std::exception& e);

// ---- Terminal and process helpers (Terminal.cpp) ----
bool stdinIsTerminal();
bool stdoutIsTerminal();
bool stderrIsTerminal();
// Switches a standard stream to binary mode (no line-end translation on Windows).
void setBinaryMode(bool input);
// Reads a line from the console without echoing it; throws Failure on Ctrl-C.
std::string promptHidden(const char* prompt);

// ---- File, signal and host calls (NativeCalls.cpp) ----
namespace native {
// A descriptor for reading, or -1 (errno set). `size` is the byte count of a
// regular file, 0 for anything else (a pipe, a device). `wait` false: a named
// pipe is opened without waiting for a writer, for callers that take regular
// files only.
int openForReading(const std::string& path, long long& size, bool& regular, bool wait = true);
bool readAt(int fd, long long offset, void* to, std::size_t n); // exactly n bytes
long long readSome(int fd, void* to, std::size_t n);            // 0 at the end, -1 on error
// Creates a new file readable and writable by its owner only (0600); -1 when it
// exists or cannot be made (errno set).
int createPrivate(const std::string& path);
bool writeAt(int fd, long long offset, const void* from, std::size_t n);
bool setLength(int fd, long long length);
bool syncToDisk(int fd);
// Gives the open file the mode (and, where permitted, the owner and group) of an
// existing `target`, or the mode the umask gives new files. Nothing on Windows.
void adoptModeOf(int fd, const std::string& target);
bool closeFile(int fd);
bool removeFile(const std::string& path);
bool replaceFile(const std::string& from, const std::string& to);
bool isDirectory(const std::string& path);
// Removes `path` if the process is interrupted (SIGINT, SIGTERM, SIGHUP; Ctrl-C
// or closing the console on Windows) before keepOnSignal() is called.
void removeOnSignal(const std::string& path, int fd);
void keepOnSignal();
std::string hostName();
std::string errorText(int code);
// The first offset at or after `offset` that holds data rather than a hole
// (SEEK_DATA; the end of the file when only a hole follows). Holes read as zero
// bytes, so a reader looking for a line end may skip them. `offset` itself
// where the system cannot tell.
long long dataAfter(int fd, long long offset);
// Which file an open descriptor is: device and file number (Windows: volume
// serial and file index); known false when the system does not say.
struct FileId {
    unsigned long long device = 0;
    unsigned long long file = 0;
    bool known = false;
    bool operator==(const FileId& o) const {
        return known && o.known && device == o.device && file == o.file;
    }
};
FileId identityOf(int fd);
// The machine-wide data folder the library keeps its log in by default
// (/var/lib; on Windows the common application data folder); empty when the
// system does not say.
std::string machineDataFolder();
// The file of the loaded program or library that holds `address` (dladdr,
// GetModuleHandleEx), links resolved; empty when unknown.
std::string libraryFileOf(const void* address);
// "process 1234 ('zel')" holding the library's named mutex NAME, where the
// system tells (Linux: every process to root, its own to an account); empty
// when it does not.
std::string mutexHolder(const std::string& name);
} // namespace native

// ---- Files (Files.cpp) ----
// The whole file (key files); "-" reads standard input. A Failure names the
// file (or standard input) and why: it cannot be opened or read, or it holds
// more than `limit` bytes (a device such as /dev/zero never ends).
std::string readAll(const std::string& path, std::size_t limit);

// A file written through a temporary file beside it, created for its owner only
// (0600) and renamed over the target by commit(), which first gives it the
// target's mode and owner (or the umask's mode for a new file). Until then an
// interruption or a failure removes the temporary file, so no partial output
// remains.
class OutputFile {
public:
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    void writeAt(long long offset, const void* data, std::size_t n);
    void commit(long long length);

private:
    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
};

// Standard input (fd -1) or a pipe or device read whole into memory, refused
// with the message `tooLarge` once it passes `limit` bytes.
class StdinData {
public:
    StdinData(int fd, long long limit, const std::string& tooLarge);
    long long size() const { return m_size; }
    void read(long long offset, unsigned char* to, std::size_t n) const;

private:
    static const std::size_t kChunk = std::size_t(1) << 20;
    std::vector<std::unique_ptr<unsigned char[]>> m_chunks;
    long long m_size = 0;
};

// Shows `text` as the progress line on standard error (a terminal only); an
// empty text clears the line.
void showProgress(const std::string& text);

// Whether the bytes are UTF-8 throughout (no overlong forms, surrogates or code
// points above U+10FFFF).
bool validUtf8(const std::string& text);
// A name as GNU ls shows it on a terminal (its shell-escape quoting): as it is
// when the shell takes it so, else in '...', "..." for a name with a quote and
// nothing else the shell reads inside double quotes, and each run of bytes that
// are not printable (C0, DEL, C1 in UTF-8 or raw, bytes that are not UTF-8) as
// $'\n', $'\033', $'\302\233'. Pasted into a shell, it names the file again.
//   b file.TXT -> 'b file.TXT'   new<LF>line.txt -> 'new'$'\n''line.txt'
std::string shellQuoted(const std::string& name);
// The same, always quoted: how error messages name a path ('perm/locked').
std::string quotedName(const std::string& name);
// A line as less shows it: C0 controls but TAB and DEL in caret notation (^[,
// ^?), C1 controls as <U+009B>, each byte that is not UTF-8 as <9B>.
std::string lessVisible(const std::string& line);
// Local time fields of calendar seconds at any date (the library converts the
// years 1970 to 3000; other years take today's zone rules); false when the
// time cannot be converted.
bool localFields(long long seconds, std::tm& local);
// Calendar seconds as local ISO-8601 time with its UTC offset,
// 2026-01-31T09:05:07+01:00; empty when the time cannot be converted.
std::string isoLocalTime(long long seconds);
// The same as "2026-01-31 09:05:07", without the offset.
std::string localTimeText(long long seconds);
// The same for local time fields already known to stand for `seconds`.
std::string isoTime(const std::tm& local, long long seconds);

// A whole decimal number from 0 to 4294967295, or a usage error naming `what`.
unsigned int parseCount(const std::string& text, const std::string& what);

// Registers the work of a subcommand; it runs after the whole command line has
// been parsed and the global options applied, and returns the exit status.
void setRunner(CLI::App* command, std::function<int()> run);

// ---- Commands: each adds its subcommand to the application ----
void addLs(CLI::App& app);
void addCrypt(CLI::App& app);
void addLog(CLI::App& app);
void addUtil(CLI::App& app); // guid, hash, prime, split, num
void addOs(CLI::App& app);   // mutex, isadmin
void addDemo(CLI::App& app);

} // namespace zeltool
