// zel ls: wildcard file lists and tree walks.
#include "Tool.h"

#include <CLI/CLI.hpp>

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
    std::vector<std::string> specs;
    bool recursive = false;
    bool byTime = false;
    bool longForm = false;
};

// A folder named without its trailing separator is listed as the folder itself.
std::string normalise(const std::string& spec) {
    const std::string sep(zel::PATHSEP);
    std::error_code ec;
    if (!spec.empty() && spec.compare(spec.size() - sep.size(), sep.size(), sep) != 0 &&
        std::filesystem::is_directory(std::filesystem::path(spec), ec))
        return spec + sep;
    return spec;
}

std::vector<Entry> list(const std::string& spec, const LsOptions& o) {
    std::vector<Entry> out;
    if (!o.longForm) {
        zel::BaseString<char> s(spec.c_str());
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
    const std::string dir = directoryPart(spec);
    zel::DirectoryIterator it(spec.c_str(), o.recursive, o.recursive ? spec.c_str() : nullptr,
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
        std::fprintf(stderr, "zel: ls: cannot read folder %s\n", folder.c_str());
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
// terminal, shows how long it has been running.
std::vector<Entry> listWithProgress(const std::string& spec, const LsOptions& o, Skipped& skipped) {
    if (!stderrIsTerminal())
        return listNotingSkips(spec, o, skipped);
    auto work = std::async(std::launch::async, [&] { return listNotingSkips(spec, o, skipped); });
    int seconds = 0;
    bool shown = false;
    while (work.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        ++seconds;
        std::fprintf(stderr, "\rzel: ls: walking %s ... %d s", spec.c_str(), seconds);
        std::fflush(stderr);
        shown = true;
    }
    if (shown) {
        std::string blank(spec.size() + 40, ' ');
        std::fprintf(stderr, "\r%s\r", blank.c_str());
        std::fflush(stderr);
    }
    return work.get();
}

} // namespace

std::string directoryPart(const std::string& spec) {
    const std::string::size_type at = spec.rfind(zel::PATHSEP);
    return at == std::string::npos ? std::string() : spec.substr(0, at + 1);
}

void addLs(CLI::App& app) {
    auto o = std::make_shared<LsOptions>();
    CLI::App* cmd =
        app.add_subcommand("ls", "List the files a wildcard specification matches, or walk a tree");
    cmd->add_option("SPEC", o->specs,
                    "A folder, or a folder, the separator and a pattern with * and ?")
        ->required();
    cmd->add_flag("-r,--recursive", o->recursive, "Walk the whole tree (files only)");
    cmd->add_flag("-t,--by-time", o->byTime, "Newest first instead of by name");
    cmd->add_flag("-l,--long", o->longForm, "Show size, local time and the read-only flag");
    cmd->footer("Folders are not listed; a folder named without its trailing separator\n"
                "is listed as the folder itself. Exit status 1 when nothing matched, or\n"
                "when a folder could not be read (each is named on standard error).");
    setRunner(cmd, [o]() -> int {
        bool any = false;
        Skipped skipped;
        for (const std::string& raw : o->specs) {
            const std::string spec = normalise(raw);
            for (const Entry& e : listWithProgress(spec, *o, skipped)) {
                any = true;
                if (o->longForm)
                    std::printf("%12lld  %s  %s  %s\n", e.size, localTime(e.time).c_str(),
                                e.readOnly ? "ro" : "rw", e.path.c_str());
                else
                    std::printf("%s\n", e.path.c_str());
            }
        }
        const bool left = reportSkips(skipped);
        if (!any)
            throw Failure("no files match");
        return left ? 1 : 0;
    });
}

} // namespace zeltool
