// zel log: where the error log is, its last lines, and writing a trace line.
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Exception.h"

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>

namespace zeltool {

namespace {

struct LogOptions {
    int tail = -1;
    std::string trace;
    bool traceGiven = false;
};

// The file the library writes to: the chosen location, or else the first of
// its default locations that exists (none is created just to answer).
std::string currentLog(bool& chosen) {
    std::string where = zel::Exception::GetErrorLogLocation();
    chosen = !where.empty();
    if (chosen)
        return where;
    const std::vector<std::string> candidates = defaultLogCandidates();
    for (const std::string& c : candidates) {
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::path(c), ec))
            return c;
    }
    return candidates.front();
}

int run(const LogOptions& o) {
    if (o.traceGiven) {
        zel::Exception::trace("%s", o.trace.c_str());
        bool chosen = false;
        std::printf("%s\n", currentLog(chosen).c_str());
        return 0;
    }
    bool chosen = false;
    const std::string where = currentLog(chosen);
    if (o.tail < 0) {
        std::printf("%s\n", where.c_str());
        return 0;
    }
    std::ifstream in(where, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::path(where), ec))
            return 0; // no log yet: no lines
        throw Failure(where + ": cannot open");
    }
    std::deque<std::string> last;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        last.push_back(line);
        if (last.size() > static_cast<std::size_t>(o.tail))
            last.pop_front();
    }
    for (const std::string& l : last)
        std::printf("%s\n", l.c_str());
    return 0;
}

} // namespace

void addLog(CLI::App& app) {
    auto o = std::make_shared<LogOptions>();
    CLI::App* cmd = app.add_subcommand(
        "log", "Show where the error log is, show its last lines, or write a trace line");
    auto* tail = cmd->add_option("-n,--tail", o->tail, "Show the last N lines")
                     ->type_name("N")
                     ->check(CLI::NonNegativeNumber);
    auto* trace = cmd->add_option("--trace", o->trace, "Write TEXT as a \"Mirror TRACE: \" line")
                      ->type_name("TEXT");
    tail->excludes(trace);
    cmd->footer("Without options, prints the path of the log. The global --log PATH chooses\n"
                "the log for this run; otherwise it is the library's machine-wide log.");
    setRunner(cmd, [o, trace]() -> int {
        LogOptions copy = *o;
        copy.traceGiven = trace->count() > 0;
        return run(copy);
    });
}

} // namespace zeltool
