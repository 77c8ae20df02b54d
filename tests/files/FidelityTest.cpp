// One table of search patterns over one generated tree, run by the Linux
// build and by the Windows build under Wine with the same expectations. Where
// Windows (Wine's FindFirstFileA) and the Linux search answer differently, the
// difference is stated once, in kDifferences, with its reason.
#include "FilesTestTree.h"
#include "zel/StringUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

namespace {

const char* const kTree[] = {
    "a.txt",          "B.TXT",
    "c.Txt",          "ab",
    "aXb.log",        "a1b2.txt",
    "archive.tar.gz", "README",
    "x.txt",          "notes.v2.final.txt",
    "page.html",      "sub/inner.txt",
    "sub/Deep/z.TXT", "Dir.With.Dots/q.txt",
};

// In `query`, "T" at the start (after blanks) is the tree's folder and '/' the
// separator. Results: one-level listing (directories end in "/"), then the paths of
// GetWildCardFiles and of GetWildCardFilesFlat ("T" the tree, "P" its parent),
// each joined with '|'.
struct Case {
    const char* query;
    const char* listing;
    const char* files;
    const char* flat; // null: not checked
};

const char* const kAll = "./|../|a.txt|a1b2.txt|ab|archive.tar.gz|aXb.log|B.TXT|c.Txt|"
                         "Dir.With.Dots/|notes.v2.final.txt|page.html|README|sub/|x.txt";
const char* const kAllFiles = "T/a.txt|T/a1b2.txt|T/ab|T/archive.tar.gz|T/aXb.log|T/B.TXT|"
                              "T/c.Txt|T/notes.v2.final.txt|T/page.html|T/README|T/x.txt";

const Case kCases[] = {
    {"T/*", kAll, kAllFiles, nullptr},
    {"T/*.*", kAll, kAllFiles, nullptr},
    {"T/", kAll, kAllFiles,
     "T/a.txt|T/a1b2.txt|T/ab|T/archive.tar.gz|T/aXb.log|T/B.TXT|T/c.Txt|T/Dir.With.Dots/q.txt|"
     "T/notes.v2.final.txt|T/page.html|T/README|T/sub/Deep/z.TXT|T/sub/inner.txt|T/x.txt"},
    {"T", kAll,
     "P/a.txt|P/a1b2.txt|P/ab|P/archive.tar.gz|P/aXb.log|P/B.TXT|P/c.Txt|P/notes.v2.final.txt|"
     "P/page.html|P/README|P/x.txt",
     nullptr},
    {"  T/  ", kAll,
     "  T/a.txt|  T/a1b2.txt|  T/ab|  T/archive.tar.gz|  T/aXb.log|  T/B.TXT|  T/c.Txt|"
     "  T/notes.v2.final.txt|  T/page.html|  T/README|  T/x.txt",
     nullptr},
    {"T/*.txt", "a.txt|a1b2.txt|B.TXT|c.Txt|notes.v2.final.txt|x.txt",
     "T/a.txt|T/a1b2.txt|T/B.TXT|T/c.Txt|T/notes.v2.final.txt|T/x.txt", nullptr},
    {"T/?.txt", "a.txt|B.TXT|c.Txt|x.txt", "T/a.txt|T/B.TXT|T/c.Txt|T/x.txt", nullptr},
    {"T/a*b*", "a1b2.txt|ab|aXb.log", "T/a1b2.txt|T/ab|T/aXb.log", nullptr},
    {"T/*b", "ab|sub/", "T/ab", nullptr},
    {"T/*.gz", "archive.tar.gz", "T/archive.tar.gz", nullptr},
    {"T/notes.*", "notes.v2.final.txt", "T/notes.v2.final.txt", nullptr},
    {"T/READ*", "README", "T/README", nullptr},
    {"T/a.txt", "a.txt", "T/a.txt", nullptr},
    {"T/A.TXT", "a.txt", "T/a.txt", nullptr},
    {"T/README", "README", "T/README", nullptr},
    {"T/*.htm", "", "", nullptr},
    {"T/*.", "./|../", "", nullptr},
    {"T/x?.txt", "", "", nullptr},
    {"T//", kAll,
     "T//a.txt|T//a1b2.txt|T//ab|T//archive.tar.gz|T//aXb.log|T//B.TXT|"
     "T//c.Txt|T//notes.v2.final.txt|T//page.html|T//README|T//x.txt",
     nullptr},
    {"T/Dir.With.Dots", "./|../|q.txt", "T/q.txt", nullptr},
    {"T/sub/", "./|../|Deep/|inner.txt", "T/sub/inner.txt", "T/sub/Deep/z.TXT|T/sub/inner.txt"},
    {"T/missing/*.txt", "", "", nullptr},
    {"T/missing/", "", "", ""},
    // A folder named in another letter case lists what is in it; the paths stored
    // carry the folder's own letters (Windows: below).
    {"T/SUB/", "./|../|Deep/|inner.txt", "T/sub/inner.txt", "T/sub/Deep/z.TXT|T/sub/inner.txt"},
    {"T/SUB", "./|../|Deep/|inner.txt", "T/inner.txt", nullptr},
    {"T/sub/deep/", "./|../|z.TXT", "T/sub/Deep/z.TXT", "T/sub/Deep/z.TXT"},
    {" T/Sub/ ", "./|../|Deep/|inner.txt", " T/sub/inner.txt", nullptr},
    {"T/dir.with.dots/", "./|../|q.txt", "T/Dir.With.Dots/q.txt", "T/Dir.With.Dots/q.txt"},
    // Only the last name is looked up without regard to case.
    {"T/SUB/Deep/", "", "", ""},
    {"T/SUB/*.txt", "", "", nullptr},
};

// Where Windows answers differently, and why.
struct Difference {
    const char* query;
    const char* listing;
    const char* files;
    const char* reason;
    const char* flat = nullptr; // null: as the table has it
};
const Difference kDifferences[] = {
    {"T/*.htm", "page.html", "T/page.html",
     "Windows also matches the 8.3 short name, which Wine makes PAGE~DPA.HTM; Linux has no "
     "short names"},
    {"T/a*b*", "a1b2.txt|ab|archive.tar.gz|aXb.log", "T/a1b2.txt|T/ab|T/archive.tar.gz|T/aXb.log",
     "the 8.3 short name Wine gives archive.tar.gz, ARCH~5FB.GZ, holds a 'b'"},
    {"T/*.", kAll, kAllFiles,
     "Wine reads a trailing '.' as matching every name (Windows itself: names without a dot); "
     "Linux matches the dot literally"},
    {"T//", "", "",
     "only one trailing separator is dropped, and the runtime's _stat64i32 refuses a folder "
     "name that still ends in one, so Windows searches 'T\\' and finds nothing; Linux's stat "
     "accepts it"},
    {"T/SUB/", "./|../|Deep/|inner.txt", "T/SUB/inner.txt",
     "Windows keeps the directory part as written: its names ignore case, so the paths name the "
     "files; Linux writes the folder's own letters, without which they would name nothing",
     "T/SUB/Deep/z.TXT|T/SUB/inner.txt"},
    {"T/sub/deep/", "./|../|z.TXT", "T/sub/deep/z.TXT", "the same, one level down",
     "T/sub/deep/z.TXT"},
    {" T/Sub/ ", "./|../|Deep/|inner.txt", " T/Sub/inner.txt", "the same, with blanks"},
    {"T/dir.with.dots/", "./|../|q.txt", "T/dir.with.dots/q.txt", "the same",
     "T/dir.with.dots/q.txt"},
    {"T/SUB/Deep/", "./|../|z.TXT", "T/SUB/Deep/z.TXT",
     "Windows' file system ignores case in every name; Linux looks up only the last name "
     "without regard to case (a folder on the way is taken as written)",
     "T/SUB/Deep/z.TXT"},
    {"T/SUB/*.txt", "inner.txt", "T/SUB/inner.txt", "the same: a folder on the way"},
};

Names split(const char* joined) {
    Names out;
    if (joined == nullptr || *joined == '\0')
        return out;
    std::string s(joined);
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = s.find('|', start);
        out.push_back(s.substr(start, bar - start));
        if (bar == std::string::npos)
            return out;
        start = bar + 1;
    }
}

std::string expand(const std::string& query, const std::string& tree) {
    std::string out;
    std::size_t i = 0;
    while (i < query.size() && query[i] == ' ')
        out += query[i++];
    if (i < query.size() && query[i] == 'T') {
        out += tree;
        ++i;
    }
    for (; i < query.size(); ++i)
        out += query[i] == '/' ? zel::PATHSEPCHAR : query[i];
    return out;
}

Names paths(const zel::Array<zel::BaseString<char>>& files, const std::string& tree) {
    Names out = filestest::relativePaths(files, tree);
    const std::string parent =
        filestest::slashed(std::filesystem::path(tree).parent_path().string());
    for (auto& p : out) {
        const std::size_t at = p.find(parent);
        if (at != std::string::npos)
            p.replace(at, parent.size(), "P");
    }
    return out;
}

// Whether `path` names a folder as the lists take it: one as written, or (a path
// that names nothing) one whose last name differs only in ASCII case.
bool namesFolder(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return true;
    const fs::path p(path);
    if (fs::exists(p, ec))
        return false;
    const std::string name = p.filename().string();
    for (const fs::directory_entry& e : fs::directory_iterator(p.parent_path(), ec)) {
        const std::string other = e.path().filename().string();
        if (e.is_directory(ec) && other.size() == name.size() &&
            zel::util::nCompareNoCase(other.c_str(), name.c_str(),
                                      static_cast<unsigned>(name.size())))
            return true;
    }
    return false;
}

} // namespace

TEST(Fidelity, SameListsOnLinuxAndWindows) {
    zeltest::TempDir dir;
    for (const char* entry : kTree)
        filestest::make(dir.path(), entry);

    for (const Case& c : kCases) {
        const char* listing = c.listing;
        const char* files = c.files;
        const char* flat = c.flat;
#ifdef _WIN32
        for (const Difference& d : kDifferences) {
            if (std::string(d.query) == c.query) {
                listing = d.listing;
                files = d.files;
                if (d.flat != nullptr)
                    flat = d.flat;
            }
        }
#endif
        const std::string query = expand(c.query, dir.path());
        SCOPED_TRACE(std::string("[") + c.query + "] = [" + query + "]");

        zel::DirectoryIterator it(query.c_str(), false, nullptr, true);
        EXPECT_EQ(filestest::listing(it), split(listing));

        zel::Array<zel::BaseString<char>> list;
        const bool stored = zel::DirectoryIterator::GetWildCardFiles(
            zel::BaseString<char>(query.c_str()), list, true);
        EXPECT_EQ(paths(list, dir.path()), split(files));
        EXPECT_EQ(stored, list.Size() != 0);

        if (flat != nullptr) {
            zel::DirectoryIterator::GetWildCardFilesFlat(zel::BaseString<char>(query.c_str()), list,
                                                         true);
            EXPECT_EQ(paths(list, dir.path()), split(flat));
        }

        // The walk in name order gives the flat list of the folder written plainly
        // (white space dropped, with its trailing separator), path for path.
        std::string plain = query;
        plain.erase(0, plain.find_first_not_of(' '));
        plain.erase(plain.find_last_not_of(' ') + 1);
        if (namesFolder(plain) && plain.back() != zel::PATHSEPCHAR)
            plain += zel::PATHSEP;
        zel::DirectoryIterator::GetWildCardFilesFlat(zel::BaseString<char>(plain.c_str()), list,
                                                     true);
        Names walked;
        zel::DirectoryWalk walk(query.c_str());
        zel::BaseString<char> path;
        while (walk.Next(path))
            walked.push_back(static_cast<const char*>(path));
        Names listed;
        for (unsigned i = 0; i < list.Size(); ++i)
            listed.push_back(static_cast<const char*>(list[i]));
        EXPECT_EQ(walked, listed);
    }
}

// Every difference names a case of the table.
TEST(Fidelity, DifferencesBelongToTheTable) {
    for (const Difference& d : kDifferences) {
        bool found = false;
        for (const Case& c : kCases)
            found = found || std::string(d.query) == c.query;
        EXPECT_TRUE(found) << d.query << ": " << d.reason;
    }
}

// A folder named in another letter case, written with its trailing separator:
// every path the lists store names an existing file, and a recursive iterator
// names the files relative to that folder, on both platforms.
TEST(Fidelity, FolderInAnotherCaseGivesPathsThatExist) {
    zeltest::TempDir dir;
    for (const char* entry : kTree)
        filestest::make(dir.path(), entry);
    for (const char* query : {"T/SUB/", "T/sub/DEEP/", "T/Sub/"}) {
        const std::string path = expand(query, dir.path());
        SCOPED_TRACE(path);
        zel::Array<zel::BaseString<char>> list;
        ASSERT_TRUE(zel::DirectoryIterator::GetWildCardFiles(zel::BaseString<char>(path.c_str()),
                                                             list, true));
        for (unsigned i = 0; i < list.Size(); ++i)
            EXPECT_TRUE(zeltest::fileExists(static_cast<const char*>(list[i]))) << list[i];
        ASSERT_TRUE(zel::DirectoryIterator::GetWildCardFilesFlat(
            zel::BaseString<char>(path.c_str()), list, true));
        for (unsigned i = 0; i < list.Size(); ++i)
            EXPECT_TRUE(zeltest::fileExists(static_cast<const char*>(list[i]))) << list[i];
    }
    const std::string sub = expand("T/SUB/", dir.path());
    zel::DirectoryIterator walk(sub.c_str(), true, sub.c_str(), true);
    EXPECT_EQ(filestest::listing(walk), (Names{"Deep/z.TXT", "inner.txt"}));
}
