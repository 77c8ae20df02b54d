// zel ls: file lists for search patterns, and tree walks.
#include "Tool.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "zel/Directory.h"
#include "zel/TimeUtil.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <future>
#include <memory>

namespace zeltool {

namespace {

struct Entry {
    std::string path;
    long long size = 0;
    long long time = 0;
    bool readOnly = false;
};

struct LsOptions {
    std::vector<std::string> patterns;
    bool recursive = false;
    bool byTime = false;
    bool longForm = false;
    bool nulSeparated = false;
    bool json = false;
};

// A folder named without its trailing separator is listed as the folder itself.
std::string normalise(const std::string& pattern) {
    const std::string sep(zel::PATHSEP);
    std::error_code ec;
    if (!pattern.empty() && pattern.compare(pattern.size() - sep.size(), sep.size(), sep) != 0 &&
        std::filesystem::is_directory(std::filesystem::path(pattern), ec))
        return pattern + sep;
    return pattern;
}

std::vector<Entry> list(const std::string& pattern, const LsOptions& o) {
    std::vector<Entry> out;
    if (!o.longForm && !o.json) {
        zel::BaseString<char> s(pattern.c_str());
        zel::Array<zel::BaseString<char>> files;
        if (o.recursive)
            zel::DirectoryIterator::GetWildCardFilesFlat(s, files, !o.byTime);
        else
            zel::DirectoryIterator::GetWildCardFiles(s, files, !o.byTime);
        for (unsigned int i = 0; i < files.Size(); ++i) {
            Entry e;
            e.path = files[i].Length() ? static_cast<const char*>(files[i]) : "";
            out.push_back(e);
        }
        return out;
    }
    // The same walk through the iterator, which also gives size, time and flags.
    const std::string dir = directoryPart(pattern);
    zel::DirectoryIterator it(pattern.c_str(), o.recursive, o.recursive ? pattern.c_str() : nullptr,
                              !o.byTime);
    zel::DirectoryItem item;
    while (it.GetNextItem(item)) {
        if (item.IsDirectory())
            continue;
        Entry e;
        e.path = dir + (item.Name() ? item.Name() : "");
        e.size = item.Size();
        e.time = item.FileTime();
        e.readOnly = item.IsReadOnly();
        out.push_back(e);
    }
    return out;
}

// What the walks of one run could not read: the folders, and how many other
// entries (dangling links, files removed meanwhile).
struct Skipped {
    std::vector<std::string> folders;
    unsigned long entries = 0;
};

// list(), noting in `skipped` what the walk had to leave out.
std::vector<Entry> listNotingSkips(const std::string& pattern, const LsOptions& o,
                                   Skipped& skipped) {
    zel::DirectorySkips skips;
    std::vector<Entry> out = list(pattern, o);
    for (unsigned long i = 0; i < skips.Directories(); ++i)
        skipped.folders.push_back(skips.Directory(i));
    skipped.entries += skips.Entries() - skips.Directories();
    return out;
}

// Names on standard error the folders that could not be read, then their count,
// as find does. True when a folder was left out.
bool reportSkips(const Skipped& skipped) {
    for (const std::string& folder : skipped.folders)
        std::fprintf(stderr, "zel: ls: cannot read folder %s\n",
                     (stderrIsTerminal() ? escapeControls(folder) : folder).c_str());
    if (skipped.entries != 0)
        std::fprintf(stderr, "zel: ls: %lu other entr%s could not be read\n", skipped.entries,
                     skipped.entries == 1 ? "y" : "ies");
    if (skipped.folders.empty())
        return false;
    const unsigned long count = static_cast<unsigned long>(skipped.folders.size());
    std::fprintf(stderr, "zel: ls: %lu folder%s could not be read; their files are not listed\n",
                 count, count == 1 ? "" : "s");
    return true;
}

std::string localTime(long long t) {
    std::tm tm{};
    zel::util::localtime(&t, &tm);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm) == 0)
        return "(unknown time)";
    return text;
}

// Runs the walk; when it takes longer than a second and standard error is a
// terminal, shows how long it has been running and the files found so far by
// the patterns before it. (The library walks a whole tree in one call and
// reports nothing until it returns.)
std::vector<Entry> listWithProgress(const std::string& pattern, const LsOptions& o,
                                    std::size_t foundBefore, Skipped& skipped) {
    if (!stderrIsTerminal())
        return listNotingSkips(pattern, o, skipped);
    auto work =
        std::async(std::launch::async, [&] { return listNotingSkips(pattern, o, skipped); });
    int seconds = 0;
    bool shown = false;
    while (work.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        ++seconds;
        showProgress(
            "zel: ls: walking " + escapeControls(pattern) + ": " + std::to_string(seconds) + " s" +
            (foundBefore ? ", " + std::to_string(foundBefore) + " files from the patterns before it"
                         : std::string()));
        shown = true;
    }
    if (shown)
        showProgress("");
    return work.get();
}

// One entry as a line: the path alone or the long form, ended by a line end
// or a NUL; control characters escaped on a terminal.
void printEntry(const Entry& e, const LsOptions& o, bool terminal) {
    if (o.json) {
        nlohmann::ordered_json j;
        j["path"] = e.path;
        j["size"] = e.size;
        j["time"] = isoLocalTime(e.time);
        j["readOnly"] = e.readOnly;
        std::printf("%s\n",
                    j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    const std::string path = terminal && !o.nulSeparated ? escapeControls(e.path) : e.path;
    if (o.longForm)
        std::printf("%12lld  %s  %s  ", e.size, localTime(e.time).c_str(),
                    e.readOnly ? "ro" : "rw");
    std::fwrite(path.data(), 1, path.size(), stdout);
    std::fputc(o.nulSeparated ? '\0' : '\n', stdout);
}

} // namespace

std::string directoryPart(const std::string& pattern) {
    const std::string::size_type at = pattern.rfind(zel::PATHSEP);
    return at == std::string::npos ? std::string() : pattern.substr(0, at + 1);
}

void addLs(CLI::App& app) {
    auto o = std::make_shared<LsOptions>();
    CLI::App* cmd =
        app.add_subcommand("ls", "List the files a search pattern matches, or walk a tree");
    cmd->add_option("PATTERN", o->patterns,
                    "A folder, or a folder, the separator and a name pattern with * and ?")
        ->required();
    cmd->add_flag("-r,--recursive", o->recursive, "Walk the whole tree (files only)");
    cmd->add_flag("-t,--by-time", o->byTime, "Newest first instead of by name");
    cmd->add_flag("-l,--long", o->longForm, "Show size, local time and the read-only flag");
    auto* nul = cmd->add_flag("-0,--null", o->nulSeparated,
                              "End each entry with a NUL instead of a line end (as find -print0)");
    auto* json = cmd->add_flag("--json", o->json,
                               "One JSON object per file: path, size, time (ISO-8601), readOnly");
    nul->excludes(json);
    cmd->footer("Folders are not listed; a folder named without its trailing separator\n"
                "is listed as the folder itself. Exit status 1 when nothing matched, or\n"
                "when a folder could not be read (each is named on standard error).\n"
                "On a terminal, control characters in names are shown escaped (\\n, \\t,\n"
                "\\xHH); elsewhere names are written as they are, so scripts should use -0\n"
                "or --json for names that may hold line ends.");
    setRunner(cmd, [o]() -> int {
        const bool terminal = stdoutIsTerminal();
        std::size_t found = 0;
        Skipped skipped;
        for (const std::string& raw : o->patterns) {
            const std::string pattern = normalise(raw);
            for (const Entry& e : listWithProgress(pattern, *o, found, skipped)) {
                ++found;
                printEntry(e, *o, terminal);
            }
        }
        const bool left = reportSkips(skipped);
        if (found == 0)
            throw Failure("no files match");
        return left ? 1 : 0;
    });
}

} // namespace zeltool
