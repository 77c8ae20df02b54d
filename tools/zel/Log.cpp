// zel log: where the error log is, its last lines, following it across
// rotations, JSON records for log shippers, and writing a trace line. A reader:
// nothing but --trace changes anything on disk, and every read is made in
// bounded pieces, whatever the size or sparseness of the file.
#include "Records.h"
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Exception.h"
#include "zel/PathSeparator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace zeltool {

namespace {

struct LogOptions {
    std::string tail;
    std::string trace;
    bool traceGiven = false;
    bool tailGiven = false;
    bool json = false;
    bool follow = false;
    bool previous = false;
};

// A line longer than this is cut; the rest of it is skipped and counted.
const std::size_t kMaxLine = 65536;
// The piece read at a time, and the most one look at the file reads before it
// closes the file again (so that the library may rename it, on Windows too).
const std::size_t kPiece = 65536;
const long long kLookBytes = 8LL << 20;
const std::size_t kHeadBytes = 256;

// An open file, closed on every way out.
class Reader {
public:
    explicit Reader(const std::string& path) {
        bool regular = false;
        // A named pipe at the log's name is refused, not waited on.
        m_fd = native::openForReading(path, m_size, regular, false);
        m_error = m_fd == -1 ? errno : 0;
        if (m_fd != -1 && !regular) {
            native::closeFile(m_fd);
            m_fd = -1;
            m_error = -1;
        }
    }
    ~Reader() {
        if (m_fd != -1)
            native::closeFile(m_fd);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    bool open() const { return m_fd != -1; }
    // errno of the failed open; -1 for something that is not a regular file.
    int error() const { return m_error; }
    long long size() const { return m_size; }
    int fd() const { return m_fd; }
    // Up to n bytes at `offset`; fewer at the end of the file.
    std::size_t read(long long offset, char* to, std::size_t n) const {
        if (offset >= m_size)
            return 0;
        n = static_cast<std::size_t>(
            std::min<long long>(static_cast<long long>(n), m_size - offset));
        return native::readAt(m_fd, offset, to, n) ? n : 0;
    }

private:
    int m_fd = -1;
    int m_error = 0;
    long long m_size = 0;
};

std::string reasonOf(int error) {
    return error == -1 ? std::string("Not a regular file") : native::errorText(error);
}

// The size, first bytes and identity of a file, which tell one generation of
// the log from the next; size -1 when it cannot be opened.
struct FileState {
    long long size = -1;
    std::string head;
    native::FileId id;
    int error = 0;
};

// The state of the file open in `r`.
FileState stateOf(const Reader& r) {
    FileState s;
    s.size = r.size();
    s.id = native::identityOf(r.fd());
    s.head.resize(static_cast<std::size_t>(std::min<long long>(s.size, kHeadBytes)));
    s.head.resize(r.read(0, &s.head[0], s.head.size()));
    return s;
}

FileState stateOf(const std::string& path) {
    Reader r(path);
    if (!r.open()) {
        FileState s;
        s.error = r.error();
        return s;
    }
    return stateOf(r);
}

// Whether `now` is the file `known` described (a file that grew keeps its head).
bool sameFile(const FileState& known, const FileState& now) {
    if (known.id.known && now.id.known)
        return known.id == now.id;
    return now.head.compare(0, known.head.size(), known.head) == 0;
}

// ---- Output ----

// A note on standard error, after what standard output has so far (a failure
// there is caught by flush()); a failing standard error has nowhere else to be
// told.
void note(const std::string& text) {
    (void)std::fflush(stdout);
    (void)std::fprintf(stderr, "zel: log: %s\n", text.c_str());
    (void)std::fflush(stderr);
}

// Writes lines as they are (made visible as less shows them when standard
// output is a terminal), or as records.
class Printer {
public:
    Printer(const std::string& file, bool json)
        : m_json(json), m_terminal(stdoutIsTerminal()),
          m_records(file, native::hostName(),
                    [](const std::string& line) { std::printf("%s\n", line.c_str()); }) {}
    void line(std::string text) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (m_json)
            m_records.line(text);
        else if (m_terminal)
            std::printf("%s\n", lessVisible(text).c_str());
        else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
                 std::fputc('\n', stdout) == EOF)
            throw Failure("cannot write to standard output");
    }
    void flush() {
        m_records.flush();
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw Failure("cannot write to standard output");
    }

private:
    bool m_json;
    bool m_terminal;
    LogRecords m_records;
};

// Cuts bytes into lines for the printer; a line longer than kMaxLine is passed
// on cut, and the rest of it is skipped (and said on standard error).
class Lines {
public:
    explicit Lines(Printer& out) : m_out(out) {}
    void feed(const char* data, std::size_t n) {
        while (n > 0) {
            const char* end = static_cast<const char*>(std::memchr(data, '\n', n));
            const std::size_t part = end ? static_cast<std::size_t>(end - data) : n;
            if (m_skipped == 0) {
                const std::size_t room = kMaxLine - m_partial.size();
                m_partial.append(data, std::min(part, room));
                if (part > room)
                    m_skipped = static_cast<long long>(part - room);
            } else {
                m_skipped += static_cast<long long>(part);
            }
            if (!end)
                return;
            endLine();
            data += part + 1;
            n -= part + 1;
        }
    }
    // Bytes of a hole (zeros) that a skipped line passes over unread.
    void skipZeros(long long n) { m_skipped += n; }
    // True while the rest of an overlong line is skipped: its bytes need only be
    // searched for the line end, and holes hold none.
    bool skipping() const { return m_skipped > 0; }
    // An unfinished last line, at the end of what is read (tail -n counts it).
    void finish() {
        if (!m_partial.empty() || m_skipped > 0)
            endLine();
    }
    // Forgets an unfinished line (the file was truncated or replaced under it).
    void drop() {
        if (m_skipped > 0 || !m_partial.empty())
            endLine();
    }

private:
    void endLine() {
        m_out.line(m_partial);
        if (m_skipped > 0)
            note("a line longer than " + std::to_string(kMaxLine) + " bytes was cut; " +
                 std::to_string(m_skipped) + " bytes of it were left out");
        m_partial.clear();
        m_skipped = 0;
    }

    Printer& m_out;
    std::string m_partial;
    long long m_skipped = 0;
};

// Feeds the bytes of `r` from `offset` up to `end` (at most `budget` bytes read)
// to `lines`; returns where it stopped.
long long pump(const Reader& r, long long offset, long long end, Lines& lines,
               long long budget = kLookBytes) {
    std::vector<char> piece(kPiece);
    while (offset < end && budget > 0) {
        if (lines.skipping()) {
            const long long data = std::min(native::dataAfter(r.fd(), offset), end);
            lines.skipZeros(data - offset);
            offset = data;
            if (offset >= end)
                break;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<long long>(kPiece, end - offset));
        const std::size_t got = r.read(offset, piece.data(), want);
        if (got == 0)
            break;
        lines.feed(piece.data(), got);
        offset += static_cast<long long>(got);
        budget -= static_cast<long long>(got);
    }
    return offset;
}

// Where the last `count` lines of the file start, found by reading back from
// its end in pieces; a line longer than kMaxLine counts as starting kMaxLine
// bytes before its end, so that the look back is bounded by the count.
long long startOfLast(const Reader& r, unsigned int count, bool& cut) {
    cut = false;
    long long end = r.size();
    if (count == 0 || end == 0)
        return end;
    std::vector<char> piece(kPiece);
    // A line end as the file's last byte ends the last line; it starts none.
    long long pos = end;
    char last = '\0';
    if (r.read(end - 1, &last, 1) == 1 && last == '\n')
        --pos;
    unsigned int found = 0;
    long long lineEnd = pos;
    while (pos > 0) {
        const long long from = std::max<long long>(0, pos - static_cast<long long>(kPiece));
        const std::size_t n = static_cast<std::size_t>(pos - from);
        if (r.read(from, piece.data(), n) != n)
            return pos;
        for (std::size_t i = n; i > 0; --i) {
            const long long at = from + static_cast<long long>(i) - 1;
            if (lineEnd - at > static_cast<long long>(kMaxLine)) {
                // Overlong: take its last kMaxLine bytes as the line.
                if (++found == count) {
                    cut = true;
                    return lineEnd - static_cast<long long>(kMaxLine);
                }
                lineEnd = lineEnd - static_cast<long long>(kMaxLine);
            }
            if (piece[i - 1] == '\n') {
                if (++found == count)
                    return at + 1;
                lineEnd = at;
            }
        }
        pos = from;
    }
    return 0;
}

// ---- Where the log is ----

// The file the next line goes to, found without creating anything: the library
// chooses the default (and would create its Corvane folder when missing), so
// while that folder is missing the default path is named here instead.
std::string logLocation() {
    std::string set = zel::Exception::GetErrorLogLocation();
    if (!set.empty())
        return set;
    const std::string data = native::machineDataFolder();
    if (!data.empty()) {
        const std::string folder = data + zel::PATHSEP + "Corvane";
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(std::filesystem::path(folder), ec);
        if (status.type() == std::filesystem::file_type::not_found)
            return folder + zel::PATHSEP + "ZELError.txt";
    }
    // Something is at the folder's name: the library looks at it and creates nothing.
    return zel::Exception::ChooseErrorLogLocation();
}

// ---- Commands ----

// Up to `most` bytes of `path` from `offset`.
std::string readFrom(const std::string& path, long long offset, std::size_t most) {
    Reader r(path);
    if (!r.open() || r.size() <= offset)
        return std::string();
    std::string data(static_cast<std::size_t>(
                         std::min<long long>(r.size() - offset, static_cast<long long>(most))),
                     '\0');
    data.resize(r.read(offset, &data[0], data.size()));
    return data;
}

std::string withoutCarriageReturns(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

void writeTrace(const std::string& text) {
    const std::string where = zel::Exception::ChooseErrorLogLocation();
    const FileState before = stateOf(where);
    zel::Exception::trace("%s", text.c_str());
    // The library drops a line it cannot write without a word; look for it. A
    // rotation before the line starts a new file, read from its start.
    const FileState after = stateOf(where);
    const bool same = before.size >= 0 && after.size >= before.size && sameFile(before, after);
    const std::string added =
        withoutCarriageReturns(readFrom(where, same ? before.size : 0, 1u << 20));
    const std::string expected =
        text.empty() ? std::string("] Mirror TRACE Format Error: %s\n")
                     : "] Mirror TRACE: " + withoutCarriageReturns(text.substr(0, 7999)) + "\n";
    if (added.find(expected) == std::string::npos)
        throw Failure(quotedName(where) +
                      ": the line did not reach the log (the library drops lines it "
                      "cannot write: is the folder there and writable?)");
    std::printf("%s\n", where.c_str());
}

// The last `count` lines; false when the file cannot be opened (errno in `error`).
bool printTail(const std::string& where, unsigned int count, Printer& out, long long& end,
               FileState& seen) {
    seen = stateOf(where);
    Reader r(where);
    if (!r.open()) {
        seen.error = r.error();
        return false;
    }
    Lines lines(out);
    bool cut = false;
    long long offset = startOfLast(r, count, cut);
    if (cut)
        note("a line longer than " + std::to_string(kMaxLine) + " bytes was cut; only its last " +
             std::to_string(kMaxLine) + " bytes are shown");
    end = r.size();
    while (offset < end)
        offset = pump(r, offset, end, lines, end - offset);
    lines.finish();
    return true;
}

// Follows the log the way tail -F does: new lines as they come, and across a
// rotation the rest of the older generation (<log>.001) and then the new file;
// a truncation, a replacement and a disappearance are said on standard error.
// The file is never held open between looks, so the library can always rename it.
[[noreturn]] void follow(const std::string& where, Printer& out, long long offset,
                         FileState known) {
    Lines lines(out);
    const std::string shown = quotedName(where);
    bool missingSaid = known.size < 0;
    if (known.size < 0)
        note("cannot open " + shown + " for reading: " + reasonOf(known.error) +
             "; waiting for it");
    // When the file followed so far is now <log>.001, shows the rest of it and
    // says so; false when it is not.
    auto drainRotated = [&]() {
        const FileState old = stateOf(where + ".001");
        if (old.size < offset || !sameFile(known, old))
            return false;
        Reader r(where + ".001");
        long long at = offset;
        while (r.open() && at < r.size())
            at = pump(r, at, r.size(), lines);
        lines.finish();
        note(shown + " was rotated to " + quotedName(where + ".001") + "; following the new file");
        return true;
    };
    bool more = false;
    for (;;) {
        out.flush();
        if (!more)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        more = false;
        const FileState now = stateOf(where);
        if (known.size >= 0 && now.size < 0) {
            // Gone: renamed by a rotation, or removed.
            lines.drop();
            if (!drainRotated() && !missingSaid) {
                note(shown + " has become inaccessible: " + reasonOf(now.error));
                missingSaid = true;
            }
            offset = 0;
            known = FileState();
            continue;
        }
        if (now.size < 0)
            continue; // not there yet
        if (known.size < 0) {
            if (missingSaid)
                note(shown + " has appeared; following new file");
            missingSaid = false;
            known = now;
            offset = 0;
        } else if (!sameFile(known, now)) {
            lines.drop();
            if (!drainRotated())
                note(shown + " has been replaced; following new file");
            known = now;
            offset = 0;
        } else if (now.size < offset) {
            lines.drop();
            note(shown + ": file truncated");
            offset = 0;
        }
        Reader r(where);
        if (!r.open())
            continue;
        // The file open now must be the one looked at above: one that replaced
        // it in between is said at the next look, and never read from the offset
        // reached in the other.
        const FileState opened = stateOf(r);
        if (!sameFile(known, opened))
            continue;
        if (r.size() > offset) {
            offset = pump(r, offset, r.size(), lines);
            more = offset < r.size();
        }
        if (known.head.size() < kHeadBytes)
            known = opened;
    }
}

int run(const LogOptions& o) {
    if (o.traceGiven) {
        writeTrace(o.trace);
        return 0;
    }
    std::string where = logLocation();
    if (o.previous)
        where += ".001";
    if (!o.tailGiven && !o.json && !o.follow) {
        std::printf("%s\n", where.c_str());
        return 0;
    }
    // --json alone shows every line; --follow alone starts at the end.
    unsigned int count = 0xFFFFFFFFu;
    if (o.tailGiven)
        count = parseCount(o.tail, "--tail");
    else if (o.follow)
        count = 0;
    Printer out(where, o.json);
    long long end = 0;
    FileState seen;
    if (!printTail(where, count, out, end, seen) && !o.follow)
        throw Failure("cannot open " + quotedName(where) + " for reading: " + reasonOf(seen.error));
    out.flush();
    if (o.follow)
        follow(where, out, end, seen);
    return 0;
}

} // namespace

void addLog(CLI::App& app) {
    auto o = std::make_shared<LogOptions>();
    CLI::App* cmd = app.add_subcommand(
        "log", "Show where the error log is, show or follow its lines, or write a trace line");
    auto* tail = cmd->add_option("-n,--tail", o->tail, "Show the last N lines")->type_name("N");
    auto* follow = cmd->add_flag("-f,--follow", o->follow,
                                 "Keep showing new lines as they are written, across rotations "
                                 "(like tail -F); stop with Ctrl-C");
    auto* json = cmd->add_flag("--json", o->json,
                               "One JSON object per message: time (ISO-8601 local time with the "
                               "UTC offset), kind (Error, TRACE, Format Error, Other), text, "
                               "host, file, prefix");
    auto* previous = cmd->add_flag("-p,--previous", o->previous,
                                   "Read the older generation (the log's name with .001) "
                                   "instead of the log");
    auto* trace = cmd->add_option("--trace", o->trace, "Write TEXT as a \"Mirror TRACE: \" line")
                      ->type_name("TEXT");
    trace->excludes(tail);
    trace->excludes(follow);
    trace->excludes(json);
    trace->excludes(previous);
    previous->excludes(follow);
    cmd->footer("Without options, prints the path of the log and changes nothing: while the\n"
                "default folder (Corvane) does not exist, the default path is named without\n"
                "creating it. The global --log PATH chooses the log for this run; otherwise it\n"
                "is the library's machine-wide log.\n"
                "A log that cannot be read is an error naming the path and the reason (exit 1);\n"
                "--follow instead waits for it, as tail -F does, and says on standard error\n"
                "when the log was rotated, truncated, replaced or removed.\n"
                "--json alone shows every line; --follow alone starts at the end of the log.\n"
                "On a terminal, lines are shown as less shows them: control characters as ^[\n"
                "(ESC) or ^? (DEL), C1 controls as <U+009B>, bytes that are not UTF-8 as <9B>;\n"
                "elsewhere they are written as they are. A line longer than 65536 bytes is cut\n"
                "(standard error says how much was left out); files are read in pieces of\n"
                "64 KiB, whatever their size.\n"
                "--json: time is the line's local time stamp with this machine's UTC offset at\n"
                "that moment (2026-01-31T09:05:07+01:00), null for a line without one. text,\n"
                "host and file are strings when they are UTF-8, else arrays of byte values\n"
                "(as journalctl -o json); every character outside printable ASCII is written\n"
                "as \\uXXXX.\n"
                "--trace exits 1 when the line did not reach the log.\n"
                "--log PATH must name a file, not a folder (exit 2); in a folder that does\n"
                "not exist the library loses every line.");
    setRunner(cmd, [o, trace, tail]() -> int {
        LogOptions copy = *o;
        copy.traceGiven = trace->count() > 0;
        copy.tailGiven = tail->count() > 0;
        return run(copy);
    });
}

} // namespace zeltool
