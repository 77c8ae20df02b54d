// zel ls: the files of folders, of search patterns, and of whole trees.
#include "Records.h"
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Directory.h"
#include "zel/StringUtil.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <system_error>

namespace zeltool {

namespace {

namespace fs = std::filesystem;

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
    bool human = false;
    bool nulSeparated = false;
    bool json = false;
    bool oneFileSystem = false;
    std::string maxDepth; // empty: no limit
    long depthLimit = -1;
};

bool isSeparator(char c) {
    // Windows takes both; Linux only its own.
    return c == zel::PATHSEPCHAR || (zel::PATHSEPCHAR == '\\' && c == '/');
}

std::string::size_type lastSeparator(const std::string& path) {
    for (std::string::size_type i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1]))
            return i - 1;
    return std::string::npos;
}

bool hasWildcards(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

// `*` any run of characters, `?` one character, ASCII case ignored; "*.*"
// matches every name, as in the library's searches.
bool nameMatches(const char* pattern, const char* name) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && lower(*pattern) == lower(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0' || std::string(pattern) == ".*";
}

// "No such file or directory" and the like for a path that cannot be looked at.
std::string reasonOf(const std::error_code& ec) {
    if (ec == std::errc::no_such_file_or_directory)
        return "No such file or directory";
    if (ec == std::errc::permission_denied)
        return "Permission denied";
    if (ec == std::errc::not_a_directory)
        return "Not a directory";
    return ec.message();
}

// What one PATTERN asks for.
struct Plan {
    std::string start;       // handed to the library's iterator
    std::string shown;       // written in place of `start` and its separator
    std::string namePattern; // matched against file names at every level; empty: all
    bool recursive = false;
    bool folder = false; // `start` is a folder listed one level
};

// Paths as ls writes them: the folder as it was typed, then the separator and
// the names below it.
std::string folderShown(const std::string& typed) {
    return !typed.empty() && isSeparator(typed.back()) ? typed : typed + zel::PATHSEP;
}

// The folder as the start of a walk: without trailing separators, so that the
// library names each file by the start, the separator and the path below it.
// The root of a file system ("/", "C:\") is walked as "/." and "C:\.".
std::string walkStart(const std::string& folder) {
    std::string start = folder;
    while (!start.empty() && isSeparator(start.back()))
        start.pop_back();
    const bool drive = start.size() == 2 && start[1] == ':';
    if (start.empty() || drive)
        start = (start.empty() ? folder.substr(0, 1) : start + zel::PATHSEP) + ".";
    return start;
}

// White space as the library drops it around a path it is given.
bool isBlank(char c) {
    return zel::util::IsSpace(static_cast<signed char>(c));
}

// The library drops white space around a path it is given, so a path that
// begins or ends with a blank would name another file. A relative path that
// begins with one is given as ./ and the path. A file name or pattern that ends
// with blanks is searched with ? in their place, and the names found are then
// matched against the whole name as typed. (A folder is given with a separator
// at its end.)
void keepBlanks(Plan& plan, const std::string& name) {
    if (!plan.start.empty() && isBlank(plan.start[0]))
        plan.start = std::string(".") + zel::PATHSEP + plan.start;
    if (plan.folder || plan.recursive)
        return;
    std::string::size_type end = plan.start.size();
    while (end > 0 && isBlank(plan.start[end - 1]))
        plan.start[--end] = '?';
    if (end != plan.start.size())
        plan.namePattern = name;
}

bool planTyped(const std::string& typed, const LsOptions& o, Plan& plan, std::string& reason);

// Plans a PATTERN; false, with `reason`, when what it names does not exist.
bool planFor(const std::string& typed, const LsOptions& o, Plan& plan, std::string& reason) {
    if (!planTyped(typed, o, plan, reason))
        return false;
    const std::string::size_type cut = lastSeparator(typed);
    keepBlanks(plan, cut == std::string::npos ? typed : typed.substr(cut + 1));
    return true;
}

bool planTyped(const std::string& typed, const LsOptions& o, Plan& plan, std::string& reason) {
    std::error_code ec;
    const std::string::size_type cut = lastSeparator(typed);
    const std::string name = cut == std::string::npos ? typed : typed.substr(cut + 1);
    const std::string folderPart =
        cut == std::string::npos ? std::string() : typed.substr(0, cut + 1);
    const fs::file_status status =
        hasWildcards(name) ? fs::file_status() : fs::status(fs::path(typed), ec);
    if (fs::is_directory(status)) {
        plan.shown = folderShown(typed);
        plan.recursive = o.recursive;
        plan.folder = true;
        plan.start = o.recursive ? walkStart(typed) : typed;
        return true;
    }
    if (!hasWildcards(name) && !o.recursive) {
        if (ec) {
            reason = reasonOf(ec);
            return false;
        }
        plan.start = typed; // one file
        plan.shown = folderPart;
        return true;
    }
    // A pattern: its folder must be there.
    const std::string folder = folderPart.empty() ? std::string(".") : folderPart;
    std::error_code folderError;
    if (!fs::is_directory(fs::status(fs::path(folder), folderError))) {
        reason = folderError ? reasonOf(folderError) : std::string("No such file or directory");
        return false;
    }
    if (!o.recursive) {
        plan.start = typed;
        plan.shown = folderPart;
        return true;
    }
    // Recursive: the folder's whole tree, the name part matched at every level.
    plan.recursive = true;
    plan.namePattern = name;
    plan.start = walkStart(folder);
    plan.shown = folderPart;
    return true;
}

// What the walks of one run could not read: the folders, and how many other
// entries (dangling links, files removed meanwhile) under which starts.
struct Skipped {
    std::vector<std::string> folders;
    std::vector<std::string> walkedFolders; // the same as the walk wrote them
    std::vector<std::string> repeated;      // folders reached again by another route
    // Entries whose status could not be read, as the library names them.
    struct Unreadable {
        std::string path;
        int error;
        bool link;
    };
    std::vector<Unreadable> entries;
    unsigned long unnamed = 0; // counted, past what the library names
};

// Whether a listing shows the names alone (no -l, -t or --json), so that the
// status of each file need not be read.
bool namesOnly(const LsOptions& o) {
    return !o.longForm && !o.byTime && !o.json;
}

// Whether a path below a plan's start has a file name its name pattern matches.
bool planMatches(const Plan& plan, const std::string& name) {
    if (plan.namePattern.empty())
        return true;
    const std::string::size_type cut = lastSeparator(name);
    return nameMatches(plan.namePattern.c_str(),
                       name.c_str() + (cut == std::string::npos ? 0 : cut + 1));
}

void noteSkips(const zel::DirectorySkips& skips, const Plan& plan, Skipped& skipped);

// The listing of one plan, noting in `skipped` what the walk left out.
std::vector<Entry> list(const Plan& plan, const LsOptions& o, Skipped& skipped) {
    // Both serve the thread that makes them: the one that walks.
    zel::DirectorySkips skips;
    zel::DirectoryWalkLimits limits(o.depthLimit, o.oneFileSystem);
    std::vector<Entry> out;
    const std::string lead = plan.start + zel::PATHSEP;
    const auto matches = [&](const std::string& name) { return planMatches(plan, name); };
    if (namesOnly(o) && !plan.recursive) {
        // Only the names are shown: the name-sorted wildcard list takes file or
        // folder from each directory entry and reads a status only for links and
        // entries the directory does not type. (Trees are streamed: streamTree.)
        zel::Array<zel::BaseString<char>> files;
        const std::string asked = plan.folder ? folderShown(plan.start) : plan.start;
        const std::string::size_type cut = asked.rfind(zel::PATHSEPCHAR);
        const std::size_t part = cut == std::string::npos ? 0 : cut + 1;
        zel::DirectoryIterator::GetWildCardFiles(asked.c_str(), files, true);
        out.reserve(files.Size());
        for (unsigned int i = 0; i < files.Size(); ++i) {
            const char* p = files[i];
            const std::string full = p ? p : "";
            if (full.size() < part)
                continue;
            const std::string name = full.substr(part);
            if (!matches(name))
                continue;
            Entry e;
            e.path = plan.shown + name;
            out.push_back(std::move(e));
        }
    } else {
        zel::DirectoryIterator it(plan.start.c_str(), plan.recursive, nullptr, !o.byTime);
        zel::DirectoryItem item;
        while (it.GetNextItem(item)) {
            if (item.IsDirectory())
                continue;
            std::string name = item.Name() ? item.Name() : "";
            if (plan.recursive && name.compare(0, lead.size(), lead) == 0)
                name = name.substr(lead.size());
            else if (plan.recursive)
                continue; // not below the start: never made up into a path
            if (!matches(name))
                continue;
            Entry e;
            e.path = plan.shown + name;
            e.size = item.Size();
            e.time = item.FileTime();
            e.readOnly = item.IsReadOnly();
            out.push_back(std::move(e));
        }
    }
    noteSkips(skips, plan, skipped);
    return out;
}

// Notes in `skipped` what the walk of a plan left out.
void noteSkips(const zel::DirectorySkips& skips, const Plan& plan, Skipped& skipped) {
    const std::string lead = plan.start + zel::PATHSEP;
    // Paths as the walk wrote them, written as the folder was typed.
    const auto shownPath = [&](std::string folder) {
        if (plan.recursive && folder.compare(0, lead.size(), lead) == 0)
            return plan.shown + folder.substr(lead.size());
        if (plan.recursive && folder == plan.start)
            return plan.shown;
        return folder;
    };
    for (unsigned long i = 0; i < skips.Directories(); ++i) {
        skipped.folders.push_back(shownPath(skips.Directory(i)));
        skipped.walkedFolders.push_back(skips.Directory(i));
    }
    for (unsigned long i = 0; i < skips.RepeatedFolders(); ++i)
        skipped.repeated.push_back(shownPath(skips.RepeatedFolder(i)));
    for (unsigned long i = 0; i < skips.NamedEntries(); ++i)
        skipped.entries.push_back(
            {shownPath(skips.Entry(i)), skips.EntryError(i), skips.EntryIsLink(i)});
    const unsigned long entries = skips.Entries() - skips.Directories();
    skipped.unnamed += entries - std::min(entries, skips.NamedEntries());
}

// How many failures are named one by one; the rest are counted.
const std::size_t kNamedMost = 20;

// Why a folder cannot be listed, as the system says it now.
std::string folderReason(const std::string& shown, const std::string& walked) {
    std::error_code ec;
    fs::directory_iterator it(fs::path(walked.empty() ? shown : walked), ec);
    return ec ? reasonOf(ec) : std::string("it could not be read during the walk");
}

// Names on standard error what could not be read, with the system's reason and
// the path quoted as ls quotes it, the first kNamedMost, then the counts. A
// dangling link is said but is no failure (find -L). True when anything else
// was left out. (A failing standard error has nowhere else to be told.)
bool reportSkips(const Skipped& skipped) {
    // No error: each folder is walked once, whatever the routes to it.
    if (!skipped.repeated.empty()) {
        const unsigned long count = static_cast<unsigned long>(skipped.repeated.size());
        (void)std::fprintf(stderr,
                           "zel: ls: %lu folder%s reached again by another route (a link) and not "
                           "walked twice, the first at %s\n",
                           count, count == 1 ? " was" : "s were",
                           quotedName(skipped.repeated[0]).c_str());
    }
    std::size_t named = 0;
    for (std::size_t i = 0; i < skipped.folders.size(); ++i) {
        if (named++ >= kNamedMost)
            break;
        (void)std::fprintf(stderr, "zel: ls: cannot open directory %s: %s\n",
                           quotedName(skipped.folders[i]).c_str(),
                           folderReason(skipped.folders[i], skipped.walkedFolders[i]).c_str());
    }
    bool failed = !skipped.folders.empty();
    unsigned long dangling = 0, other = skipped.unnamed, gone = 0;
    for (const Skipped::Unreadable& u : skipped.entries) {
        // A link to nothing is a dangling link; an entry that is itself not
        // there any more was removed during the walk.
        const bool missing = u.error == ENOENT;
        (missing ? (u.link ? dangling : gone) : other) += 1;
        if (named++ >= kNamedMost)
            continue;
        if (missing && u.link)
            (void)std::fprintf(stderr,
                               "zel: ls: %s: dangling link (its target does not exist), "
                               "not listed\n",
                               quotedName(u.path).c_str());
        else
            (void)std::fprintf(
                stderr, "zel: ls: cannot access %s: %s\n", quotedName(u.path).c_str(),
                missing ? "removed during the walk"
                        : reasonOf(std::error_code(u.error, std::generic_category())).c_str());
    }
    named += skipped.unnamed;
    failed = failed || other != 0 || gone != 0;
    if (named > kNamedMost)
        (void)std::fprintf(stderr, "zel: ls: %lu more not named (at most %lu are)\n",
                           static_cast<unsigned long>(named - kNamedMost),
                           static_cast<unsigned long>(kNamedMost));
    if (named > 1 || !skipped.folders.empty()) {
        std::string sum;
        const auto add = [&](unsigned long n, const char* one, const char* many) {
            if (n == 0)
                return;
            if (!sum.empty())
                sum += ", ";
            sum += std::to_string(n) + " " + (n == 1 ? one : many);
        };
        add(static_cast<unsigned long>(skipped.folders.size()),
            "folder could not be read (its files are not listed)",
            "folders could not be read (their files are not listed)");
        add(other, "entry could not be read", "entries could not be read");
        add(dangling, "dangling link", "dangling links");
        add(gone, "entry removed during the walk", "entries removed during the walk");
        if (!sum.empty())
            (void)std::fprintf(stderr, "zel: ls: in all: %s\n", sum.c_str());
    }
    return failed;
}

// Runs the walk; when it takes longer than a second and standard error is a
// terminal, shows how long it has been running and the files found so far by
// the patterns before it. (The library walks a whole tree in one call and
// reports nothing until it returns.)
std::vector<Entry> listWithProgress(const std::string& typed, const Plan& plan, const LsOptions& o,
                                    std::size_t foundBefore, Skipped& skipped) {
    if (!stderrIsTerminal())
        return list(plan, o, skipped);
    auto work = std::async(std::launch::async, [&] { return list(plan, o, skipped); });
    int seconds = 0;
    bool shown = false;
    while (work.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        ++seconds;
        showProgress(
            "zel: ls: walking " + quotedName(typed) + ": " + std::to_string(seconds) + " s" +
            (foundBefore ? ", " + std::to_string(foundBefore) + " files from the patterns before it"
                         : std::string()));
        shown = true;
    }
    if (shown)
        showProgress("");
    return work.get();
}

// A size as ls -h writes it: 1023, 1.0K, 9.9K, 10K, 1.5M ... (rounded up).
std::string readableSize(long long bytes) {
    if (bytes < 1024)
        return std::to_string(bytes);
    const char units[] = "KMGTPE";
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    char text[32]; // holds any of them: snprintf cannot cut one short
    if (value < 10) {
        const double tenths = static_cast<double>(static_cast<long long>(value * 10 + 0.999999));
        if (tenths < 100)
            (void)std::snprintf(text, sizeof text, "%.1f%c", tenths / 10, units[unit]);
        else
            (void)std::snprintf(text, sizeof text, "10%c", units[unit]);
    } else {
        (void)std::snprintf(text, sizeof text, "%lld%c", static_cast<long long>(value + 0.999999),
                            units[unit]);
    }
    return text;
}

// One path and its end (a line end, or a NUL with -0); quoted as ls quotes it on
// a terminal.
void writePath(const std::string& shown, const LsOptions& o, bool terminal) {
    const std::string path = terminal && !o.nulSeparated ? shellQuoted(shown) : shown;
    if (std::fwrite(path.data(), 1, path.size(), stdout) != path.size() ||
        std::fputc(o.nulSeparated ? '\0' : '\n', stdout) == EOF)
        throw Failure("cannot write to standard output");
}

void printAll(const std::vector<Entry>& entries, const LsOptions& o) {
    const bool terminal = stdoutIsTerminal();
    if (o.json) {
        for (const Entry& e : entries) {
            nlohmann::ordered_json j;
            j["path"] = jsonText(e.path);
            j["size"] = e.size;
            const std::string time = isoLocalTime(e.time);
            if (time.empty())
                j["time"] = nullptr;
            else
                j["time"] = time;
            j["readOnly"] = e.readOnly;
            std::printf("%s\n", jsonLine(j).c_str());
        }
        return;
    }
    // The long form's columns take the width of their widest value.
    std::vector<std::string> sizes, times;
    std::size_t sizeWidth = 0, timeWidth = 0;
    if (o.longForm) {
        for (const Entry& e : entries) {
            sizes.push_back(o.human ? readableSize(e.size) : std::to_string(e.size));
            std::string t = localTimeText(e.time);
            times.push_back(t.empty() ? std::string("(unknown time)") : t);
            sizeWidth = std::max(sizeWidth, sizes.back().size());
            timeWidth = std::max(timeWidth, times.back().size());
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (o.longForm)
            std::printf("%*s  %-*s  %s  ", static_cast<int>(sizeWidth), sizes[i].c_str(),
                        static_cast<int>(timeWidth), times[i].c_str(), e.readOnly ? "ro" : "rw");
        writePath(e.path, o, terminal);
    }
}

// A recursive listing of names alone, written as the walk goes: each folder's
// files come as soon as the folder is read and sorted, so the first line comes
// at once and the walk holds only the folders on its way. Returns the files
// written.
std::size_t streamTree(const Plan& plan, const LsOptions& o, Skipped& skipped) {
    // Both serve the thread that makes them: the one that walks.
    zel::DirectorySkips skips;
    zel::DirectoryWalkLimits limits(o.depthLimit, o.oneFileSystem);
    const std::string lead = plan.start + zel::PATHSEP;
    const bool terminal = stdoutIsTerminal();
    zel::DirectoryWalk walk(lead.c_str());
    zel::BaseString<char> path;
    std::size_t written = 0;
    std::string name;
    while (walk.Next(path)) {
        const char* text = path;
        if (text == nullptr || std::strncmp(text, lead.c_str(), lead.size()) != 0)
            continue; // not below the start: never made up into a path
        name.assign(text + lead.size());
        if (!planMatches(plan, name))
            continue;
        writePath(plan.shown + name, o, terminal);
        ++written;
    }
    noteSkips(skips, plan, skipped);
    return written;
}

} // namespace

void addLs(CLI::App& app) {
    auto o = std::make_shared<LsOptions>();
    CLI::App* cmd = app.add_subcommand("ls", "List the files of folders and search patterns, or "
                                             "of whole trees");
    // -h is for readable sizes, as in ls; help is --help alone.
    cmd->set_help_flag("--help", "Print this help message and exit");
    cmd->add_option("PATTERN", o->patterns,
                    "A folder, a file, or a folder, the separator and a name pattern with * "
                    "and ?")
        ->type_name("");
    // Words the parser does not know come back here, so that a mistyped name
    // that starts with - gets one message, with or without other patterns.
    cmd->allow_extras();
    cmd->add_flag("-r,--recursive", o->recursive,
                  "Walk every folder below; a name pattern is matched at every level");
    cmd->add_flag("-t,--by-time", o->byTime, "Newest first instead of by name");
    cmd->add_flag("-l,--long", o->longForm, "Show size, local time and the read-only flag");
    cmd->add_flag("-h,--human-readable", o->human, "With -l, sizes as 1.5K, 23M, 4.0G");
    auto* nul = cmd->add_flag("-0,--null", o->nulSeparated,
                              "End each entry with a NUL instead of a line end (as find -print0)");
    auto* json = cmd->add_flag("--json", o->json,
                               "One JSON object per file: path, size, time (ISO-8601), readOnly");
    nul->excludes(json);
    cmd->add_flag("-x,--one-file-system", o->oneFileSystem,
                  "Walk (as -r) without leaving the file system of each PATTERN's folder, as "
                  "find -xdev");
    cmd->add_option("--max-depth", o->maxDepth,
                    "Walk (as -r) at most N levels: 1 lists the folder's own files, as find "
                    "-maxdepth")
        ->type_name("N");
    cmd->footer("PATTERN is a folder (its files are listed, written the same with or without\n"
                "a trailing separator), a file, or a folder, the separator and a name pattern:\n"
                "* any run of characters, ? one character, ASCII case ignored. Only files are\n"
                "listed, never folders. Paths are written as the folder was typed, then the\n"
                "separator and the names below it.\n"
                "\n"
                "With -r every folder below is walked, and a name pattern is matched against\n"
                "the file names at every level (as find -name): zel ls -r 'logs/*.txt'.\n"
                "Links to folders are followed (as find -L); a folder the tree holds is\n"
                "listed under its own path, not under a link to it. Each folder is walked\n"
                "once: one reached again by another route (a link) is not walked twice,\n"
                "and a link back to a folder the walk is inside is not followed. The count\n"
                "of folders reached again is said on standard error; that is no error and\n"
                "leaves the exit status as it is.\n"
                "\n"
                "Errors name the path, quoted as ls quotes it, and the system's reason:\n"
                "\"cannot access 'x': No such file or directory\", \"cannot open directory\n"
                "'perm/locked': Permission denied\", a pattern that matches no file. The first\n"
                "20 are named, then a count. Each makes the exit status 1; everything else\n"
                "is still listed. A dangling link is said on standard error and is no error\n"
                "(as with find -L); nor is an existing folder without files (exit 0).\n"
                "\n"
                "Names on a terminal are quoted as GNU ls quotes them: 'b file.TXT',\n"
                "'new'$'\\n''line.txt', $'\\377\\376'.txt; every control character (C0,\n"
                "DEL, C1) and every byte that is not UTF-8 is shown as an escape. Elsewhere\n"
                "names are written as they are: scripts should use -0 or --json. --json\n"
                "writes a path that is not UTF-8 as an array of its byte values, as\n"
                "journalctl -o json does, and every character outside printable ASCII as\n"
                "\\uXXXX. Times are local, with the UTC offset in --json.\n"
                "\n"
                "Without -l, -t and --json only the names are read: a status call is made\n"
                "only for links and entries whose type the folder does not give, and -r\n"
                "writes each folder's files as soon as the folder is read, in the order of\n"
                "the whole listing.");
    setRunner(cmd, [o, cmd]() -> int {
        for (const std::string& extra : cmd->remaining()) {
            if (!extra.empty() && extra[0] == '-' && extra != "-")
                throw UsageError("unknown option " + quotedName(extra) +
                                 " (a name that starts with - is written ./" + extra +
                                 " or after --)");
            throw UsageError("unexpected argument " + quotedName(extra));
        }
        if (o->patterns.empty())
            throw UsageError("PATTERN is required: a folder, a file or a pattern (run 'zel ls "
                             "--help')");
        if (!o->maxDepth.empty()) {
            o->depthLimit =
                static_cast<long>(std::min(parseCount(o->maxDepth, "--max-depth"), 1000000u));
            o->recursive = true;
        }
        if (o->oneFileSystem)
            o->recursive = true;
        // Each PATTERN's files are written as soon as they are known.
        std::size_t shown = 0;
        Skipped skipped;
        bool failed = false;
        for (const std::string& typed : o->patterns) {
            Plan plan;
            std::string reason;
            // Standard output first, so each message follows the files before it;
            // a failure there stays in ferror(stdout), told at the end.
            if (typed.empty() || !planFor(typed, *o, plan, reason)) {
                (void)std::fflush(stdout);
                (void)std::fprintf(stderr, "zel: ls: cannot access %s: %s\n",
                                   quotedName(typed).c_str(),
                                   typed.empty() ? "No such file or directory" : reason.c_str());
                failed = true;
                continue;
            }
            std::size_t count = 0;
            if (plan.recursive && namesOnly(*o)) {
                count = streamTree(plan, *o, skipped);
            } else {
                const std::vector<Entry> found = listWithProgress(typed, plan, *o, shown, skipped);
                printAll(found, *o);
                count = found.size();
            }
            if (count == 0 && !plan.folder) {
                (void)std::fflush(stdout);
                (void)std::fprintf(stderr, "zel: ls: %s: no files match\n",
                                   quotedName(typed).c_str());
                failed = true;
            }
            if (std::fflush(stdout) != 0)
                throw Failure("cannot write to standard output");
            shown += count;
        }
        const bool left = reportSkips(skipped);
        return failed || left ? 1 : 0;
    });
}

} // namespace zeltool
