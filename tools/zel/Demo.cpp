// zel demo: the library's main jobs on a small embedded sample, in a temporary
// folder that is removed again at the end.
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/Exception.h"
#include "zel/BlowFish.h"
#include "zel/Directory.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace zeltool {

namespace {

namespace fs = std::filesystem;

struct SampleFile {
    const char* path; // relative, '/' between folders
    const char* text;
    int hoursOld;
};

const SampleFile kSample[] = {
    {"readme.txt", "Sample tree of the zel demo.\n", 3},
    {"notes.TXT", "Call the supplier on Monday.\n", 1},
    {"budget.csv", "item,amount\nrent,1200\n", 2},
    {"data/2025.log", "closed\n", 4},
    {"data/2026.log", "open\n", 0},
    {"data/old/archive.txt", "kept for the records\n", 5},
};

// Removes the demo folder and puts the error log back where it was, whatever
// happens on the way.
class Workspace {
public:
    Workspace() : m_previousLog(zel::Exception::GetErrorLogLocation()) {
        std::random_device random;
        char name[40]; // holds any 32-bit value: snprintf cannot cut it short
        (void)std::snprintf(name, sizeof name, "zel-demo-%08x", static_cast<unsigned>(random()));
        m_root = fs::temp_directory_path() / name;
        fs::create_directories(m_root);
        m_log = (m_root / "ZELError.txt").string();
        zel::Exception::SetErrorLogLocation(m_log.c_str());
    }
    ~Workspace() {
        zel::Exception::SetErrorLogLocation(m_previousLog.c_str());
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    const fs::path& root() const { return m_root; }
    const std::string& log() const { return m_log; }

private:
    std::string m_previousLog;
    fs::path m_root;
    std::string m_log;
};

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw Failure("cannot write " + path.string());
}

void show(const char* title, const zel::Array<zel::BaseString<char>>& files,
          const std::string& top) {
    std::printf("%s\n", title);
    for (unsigned int i = 0; i < files.Size(); ++i) {
        std::string p = static_cast<const char*>(files[i]);
        if (p.compare(0, top.size(), top) == 0)
            p = p.substr(top.size());
        std::printf("    %s\n", p.c_str());
    }
}

std::string hex(const unsigned char* data, unsigned int n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (unsigned int i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 0xF];
    }
    return s;
}

void run(std::string& made) {
    Workspace ws;
    made = ws.root().string();
    const fs::path tree = ws.root() / "sample";
    std::printf("zel demo: working in %s\n\n", ws.root().string().c_str());

    // 1. The tree, with last-write times an hour apart so that "newest first"
    //    differs from "by name".
    const auto now = fs::file_time_type::clock::now();
    for (const SampleFile& f : kSample) {
        const fs::path p = tree / fs::path(f.path).make_preferred();
        fs::create_directories(p.parent_path());
        writeText(p, f.text);
        fs::last_write_time(p, now - std::chrono::hours(f.hoursOld));
    }
    std::printf("1. Built a sample tree of %d files in three folders.\n\n",
                static_cast<int>(sizeof kSample / sizeof kSample[0]));

    const std::string top = tree.string() + zel::PATHSEP;
    zel::BaseString<char> pattern(top.c_str());
    zel::Array<zel::BaseString<char>> files;

    zel::DirectoryIterator::GetWildCardFiles(pattern, files, true);
    show("2. One level, by name (GetWildCardFiles):", files, top);
    zel::DirectoryIterator::GetWildCardFiles(pattern, files, false);
    show("   One level, newest first:", files, top);
    zel::BaseString<char> txt((top + "*.txt").c_str());
    zel::DirectoryIterator::GetWildCardFiles(txt, files, true);
    show("   One level, *.txt (case does not matter):", files, top);
    std::printf("\n");

    zel::DirectoryIterator::GetWildCardFilesFlat(pattern, files, true);
    show("3. The whole tree, flat, by name (GetWildCardFilesFlat):", files, top);
    zel::DirectoryIterator::GetWildCardFilesFlat(pattern, files, false);
    show("   The whole tree, flat, newest first:", files, top);
    std::printf("\n");

    const char* key = "demo key";
    const char* text = "Meet at the usual place at ten.";
    zel::Array<unsigned char> cipher;
    zel::BlowFish::Encrypt(key, text, cipher);
    std::printf("4. Enciphered \"%s\" (%u bytes) under the key \"%s\":\n", text,
                zel::util::strlen(text), key);
    std::printf("    %u bytes: %s\n", cipher.Size(), hex(cipher.Data(), cipher.Size()).c_str());
    zel::BaseString<char> back;
    const bool ok = zel::BlowFish::Decrypt(key, cipher, back);
    std::printf("    deciphered with the same key: %s, \"%s\"\n", ok ? "accepted" : "refused",
                ok ? static_cast<const char*>(back) : "");
    const bool wrong = zel::BlowFish::Decrypt("another key", cipher, back);
    std::printf("    deciphered with another key:  %s\n\n", wrong ? "accepted" : "refused");

    // 5. A failure inside a function that guards its body the library's way: the
    //    exception gathers a message per level, and each is logged as it is pushed.
    zel::Array<zel::BaseString<char>> names;
    names.Add("first.txt");
    names.Add("second.txt");
    try {
        try {
            std::printf("%s\n", static_cast<const char*>(names[5]));
        } catch (zel::Exception& e) {
            e.appendMessage("%s::%s: Exception caught", "Demo", "OpenSixthFile");
            e.rethrow();
        } catch (...) {
            throw zel::Exception("%s::%s: Severe error caught", "Demo", "OpenSixthFile");
        }
    } catch (zel::Exception& e) {
        std::printf("5. Caught an exception carrying %u messages; the error log holds:\n",
                    e.getMessageTotal());
    }
    std::ifstream log(ws.log());
    std::string line;
    while (std::getline(log, line))
        std::printf("    %s\n", line.c_str());
    log.close();
    std::printf("\n");
}

} // namespace

void addDemo(CLI::App& app) {
    CLI::App* cmd = app.add_subcommand(
        "demo", "Show the library at work on a small sample in a temporary folder");
    cmd->footer("Builds a small tree, lists it one level and flat, by name and newest first,\n"
                "enciphers and deciphers a text, shows the error-log lines an annotated\n"
                "exception wrote (to a log inside the temporary folder), and removes\n"
                "everything it made.");
    setRunner(cmd, []() -> int {
        std::string made;
        run(made);
        std::error_code ec;
        if (fs::exists(fs::path(made), ec))
            throw Failure("could not remove " + made);
        std::printf("6. Removed %s and everything in it.\n", made.c_str());
        return 0;
    });
}

} // namespace zeltool
