// zel log: where the error log is, its last lines, following it across
// rotations, JSON records for log shippers, and writing a trace line.
#include "Tool.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "zel/Exception.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <thread>

namespace zeltool {

namespace {

struct LogOptions {
    std::string tail;
    std::string trace;
    bool traceGiven = false;
    bool tailGiven = false;
    bool json = false;
    bool follow = false;
};

// The size of a file and its first bytes (which tell one generation of the log
// from the next); size -1 when it cannot be opened.
struct FileState {
    long long size = -1;
    std::string head;
};

const std::size_t kHeadBytes = 256;

FileState stateOf(const std::string& path) {
    FileState s;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return s;
    in.seekg(0, std::ios::end);
    s.size = static_cast<long long>(in.tellg());
    in.seekg(0);
    s.head.resize(static_cast<std::size_t>(std::min<long long>(s.size, kHeadBytes)));
    in.read(&s.head[0], static_cast<std::streamsize>(s.head.size()));
    s.head.resize(static_cast<std::size_t>(in.gcount()));
    return s;
}

// The bytes of `path` from `offset` to its current end.
std::string readFrom(const std::string& path, long long offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    in.seekg(0, std::ios::end);
    const long long end = static_cast<long long>(in.tellg());
    if (end <= offset)
        return std::string();
    in.seekg(offset);
    std::string data(static_cast<std::size_t>(end - offset), '\0');
    in.read(&data[0], static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

std::string withoutCarriageReturns(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

// ---- Records ----

struct Prefix {
    const char* text;
    const char* kind;
};

// Longest first, so that "Mirror Error Format Error: " is not taken for "Mirror Error: ".
const Prefix kPrefixes[] = {
    {"Mirror Error Format Error: ", "Format Error"},
    {"Mirror TRACE Format Error: ", "Format Error"},
    {"Mirror Error: ", "Error"},
    {"Mirror TRACE: ", "TRACE"},
    {"Format Error: ", "Format Error"},
    {"Error: ", "Error"},
    {"NULL Method", "Other"},
};

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "[Tue Nov 01 09:05:07 2022] " read as local time; false when the line does
// not start with a time stamp (a continuation of a message with line ends).
bool parseStamp(const std::string& line, std::tm& tm) {
    if (line.size() < 27 || line[0] != '[' || line[25] != ']' || line[26] != ' ')
        return false;
    int mon = -1;
    for (int m = 0; m < 12; ++m)
        if (line.compare(5, 3, kMonths[m]) == 0)
            mon = m;
    int day = 0, hour = 0, minute = 0, second = 0, year = 0;
    if (mon < 0 || std::sscanf(line.c_str() + 9, "%2d %2d:%2d:%2d %4d", &day, &hour, &minute,
                               &second, &year) != 5)
        return false;
    tm = std::tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = mon;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return true;
}

// Turns log lines into one JSON object per message; a message written with line
// ends inside it spans several lines and becomes one record.
class Records {
public:
    explicit Records(const std::string& file) : m_file(file), m_host(native::hostName()) {}
    void line(const std::string& text) {
        std::tm tm{};
        if (!parseStamp(text, tm) && m_pending) {
            (*m_pending)["text"] = (*m_pending)["text"].get<std::string>() + "\n" + text;
            return;
        }
        flush();
        m_pending.reset(new nlohmann::ordered_json());
        nlohmann::ordered_json& r = *m_pending;
        std::string body = text;
        r["time"] = nullptr;
        if (parseStamp(text, tm)) {
            // The writer's local time; the line does not say which zone that was.
            char iso[80];
            std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
            r["time"] = iso;
            body = text.substr(27);
        }
        std::string kind = "Other", prefix;
        for (const Prefix& p : kPrefixes) {
            if (body.compare(0, std::strlen(p.text), p.text) == 0) {
                kind = p.kind;
                prefix = p.text;
                break;
            }
        }
        r["kind"] = kind;
        r["text"] = body.substr(prefix.size());
        r["host"] = m_host;
        r["file"] = m_file;
        r["prefix"] = prefix;
    }
    void flush() {
        if (!m_pending)
            return;
        const std::string out =
            m_pending->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::printf("%s\n", out.c_str());
        m_pending.reset();
    }

private:
    std::string m_file;
    std::string m_host;
    std::unique_ptr<nlohmann::ordered_json> m_pending;
};

// Writes lines as they are, or as records.
class Printer {
public:
    Printer(const std::string& file, bool json) : m_json(json), m_records(file) {}
    void line(std::string text) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (m_json)
            m_records.line(text);
        else
            std::printf("%s\n", text.c_str());
    }
    // Complete lines of `data`; an unfinished last line waits for the rest.
    void feed(const std::string& data) {
        m_partial += data;
        std::size_t start = 0;
        for (std::size_t end; (end = m_partial.find('\n', start)) != std::string::npos;
             start = end + 1)
            line(m_partial.substr(start, end - start));
        m_partial.erase(0, start);
    }
    void flush() {
        m_records.flush();
        std::fflush(stdout);
        if (std::ferror(stdout))
            throw Failure("cannot write to standard output");
    }

private:
    bool m_json;
    Records m_records;
    std::string m_partial;
};

// ---- Commands ----

void writeTrace(const std::string& text) {
    const std::string where = zel::Exception::ChooseErrorLogLocation();
    const FileState before = stateOf(where);
    zel::Exception::trace("%s", text.c_str());
    // The library drops a line it cannot write without a word; look for it. A
    // rotation before the line starts a new file, read from its start.
    const FileState after = stateOf(where);
    const bool sameFile = before.size >= 0 && after.size >= before.size &&
                          after.head.compare(0, before.head.size(), before.head) == 0;
    const std::string added = withoutCarriageReturns(readFrom(where, sameFile ? before.size : 0));
    const std::string expected =
        text.empty() ? std::string("] Mirror TRACE Format Error: %s\n")
                     : "] Mirror TRACE: " + withoutCarriageReturns(text.substr(0, 7999)) + "\n";
    if (added.find(expected) == std::string::npos)
        throw Failure(where + ": the line did not reach the log (the library drops lines it "
                              "cannot write: is the folder there and writable?)");
    std::printf("%s\n", where.c_str());
}

void printTail(const std::string& where, unsigned int count, Printer& out) {
    std::ifstream in(where, std::ios::binary);
    if (!in) {
        if (native::isDirectory(where) || stateOf(where).size >= 0)
            throw Failure(where + ": cannot open");
        return; // no log yet: no lines
    }
    std::deque<std::string> last;
    std::string line;
    while (std::getline(in, line)) {
        if (count == 0)
            continue;
        last.push_back(line);
        if (last.size() > count)
            last.pop_front();
    }
    for (const std::string& l : last)
        out.line(l);
}

// Follows the log the way tail -F does: new lines as they come, and across a
// rotation the rest of the older generation (<log>.001) and then the new file.
// The file is never held open between looks, so the library can always rename it.
[[noreturn]] void follow(const std::string& where, Printer& out) {
    FileState known = stateOf(where);
    long long offset = known.size < 0 ? 0 : known.size;
    for (;;) {
        out.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const FileState now = stateOf(where);
        const bool gone = now.size < 0 && offset > 0;
        const bool shrunk = now.size >= 0 && now.size < offset;
        const bool other = now.size >= 0 && !known.head.empty() &&
                           now.head.compare(0, known.head.size(), known.head) != 0;
        if (gone || shrunk || other) {
            const std::string older = where + ".001";
            const FileState old = stateOf(older);
            if (old.size >= offset && old.head.compare(0, known.head.size(), known.head) == 0)
                out.feed(readFrom(older, offset));
            offset = 0;
            known = FileState();
        }
        if (now.size < 0)
            continue; // rotated and not written again yet, or not there yet
        if (now.size > offset) {
            const std::string data = readFrom(where, offset);
            offset += static_cast<long long>(data.size());
            out.feed(data);
        }
        if (known.head.size() < kHeadBytes)
            known = stateOf(where);
    }
}

int run(const LogOptions& o) {
    if (o.traceGiven) {
        writeTrace(o.trace);
        return 0;
    }
    const std::string where = zel::Exception::ChooseErrorLogLocation();
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
    printTail(where, count, out);
    if (o.follow)
        follow(where, out);
    out.flush();
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
                               "One JSON object per message: time (ISO-8601 local time, no UTC "
                               "offset), kind (Error, TRACE, Format Error, Other), text, host, "
                               "file, prefix");
    auto* trace = cmd->add_option("--trace", o->trace, "Write TEXT as a \"Mirror TRACE: \" line")
                      ->type_name("TEXT");
    trace->excludes(tail);
    trace->excludes(follow);
    trace->excludes(json);
    cmd->footer("Without options, prints the path of the log. The global --log PATH chooses\n"
                "the log for this run; otherwise it is the library's machine-wide log.\n"
                "--trace exits 1 when the line did not reach the log. --json alone shows\n"
                "every line; --follow alone starts at the end of the log.\n"
                "The log's time stamps are the writing machine's local time and do not say\n"
                "its time zone, so --json gives them as local times without a UTC offset\n"
                "(2026-01-31T09:05:07), and null for a line without a time stamp.\n"
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
