// A host program written from docs/using.md alone: an exception's trail caught
// at the top, the error log in a file of its own, a walk, the cipher and a
// thread. Exit status 0 when everything behaved as that page says.
//   myhost LOGFILE     a file in a folder that exists
#include "zel/Array.h"
#include "zel/BaseString.h"
#include "zel/BlowFish.h"
#include "zel/Directory.h"
#include "zel/Event.h"
#include "zel/Exception.h"
#include "zel/Lock.h"
#include "zel/NumberUtil.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok)
        ++failures;
}

void loadSettings() {
    try {
        zel::Array<zel::BaseString<char>> names;
        names.Add("a");
        names[3]; // throws InvalidIndexException
    } catch (zel::Exception& e) {
        e.appendMessage("%s::%s: Exception caught", "Settings", "load");
        e.rethrow();
    } catch (...) {
        throw zel::Exception("%s::%s: Severe error caught", "Settings", "load");
    }
}

zel::AutoCriticalSection counterLock;
int counter = 0;
zel::Event done;

unsigned long ZEL_STDCALL work(void*) {
    {
        zel::Guard guard(counterLock);
        ++counter;
    }
    done.Signal();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: myhost LOGFILE\n");
        return 2;
    }
    const std::string log = argv[1];
    try {
        zel::Exception::SetErrorLogLocation(log.c_str());
        check(zel::Exception::ChooseErrorLogLocation() == log, "the log is the file given");

        // The trail, oldest first, as the page shows it.
        std::string trail;
        try {
            loadSettings();
        } catch (zel::Exception& e) {
            trail = e.getCharErrorMessageBlock("\n");
        }
        check(trail == "An invalid index value (3) has been detected; legal values are between "
                       "0 and 0\nSettings::load: Exception caught",
              "the exception carries both messages");
        zel::Exception::trace("myhost %s", "started");
        std::ifstream in(log);
        std::stringstream lines;
        lines << in.rdbuf();
        check(lines.str().find("] Error: Settings::load: Exception caught") != std::string::npos &&
                  lines.str().find("] Mirror TRACE: myhost started") != std::string::npos,
              "the log holds the messages and the trace line");

        // The log's folder, walked: the log is among its files.
        const std::string::size_type cut = log.find_last_of(zel::PATHSEPCHAR);
        const std::string folder = cut == std::string::npos ? "." : log.substr(0, cut);
        zel::DirectorySkips skips;
        zel::Array<zel::BaseString<char>> files;
        zel::DirectoryIterator::GetWildCardFilesFlat((folder + zel::PATHSEP).c_str(), files, true);
        bool listed = false;
        for (unsigned int i = 0; i < files.Size(); ++i)
            listed = listed || std::string(files[i]) == folder + zel::PATHSEP + log.substr(cut + 1);
        check(listed, "the walk lists the log file");
        // The same tree a folder at a time: the same paths, in the same order.
        zel::DirectoryWalk walk((folder + zel::PATHSEP).c_str());
        zel::BaseString<char> path;
        unsigned int same = 0;
        while (walk.Next(path) && same < files.Size() &&
               std::string(path) == std::string(files[same]))
            ++same;
        check(same == files.Size() && !walk.Next(path), "the streaming walk gives the same paths");

        zel::Array<unsigned char> sealed;
        zel::BlowFish::Encrypt("the key", "stored text", sealed);
        zel::BaseString<char> text;
        check(zel::BlowFish::Decrypt("the key", sealed, text) &&
                  std::string(text) == "stored text" &&
                  !zel::BlowFish::Decrypt("other key", sealed, text),
              "the cipher gives the text back, and only with its key");

        char* end = nullptr;
        check(zel::util::stringToInteger("4294967297", &end) == 1, "integers wrap, as documented");

        zel::ThreadCreator::Create(work, nullptr);
        const bool signalled = done.Wait(10000);
        zel::Guard guard(counterLock);
        check(signalled && counter == 1, "a thread ran and signalled");
    } catch (zel::Exception& e) {
        std::fprintf(stderr, "myhost: %s\n", e.getCharErrorMessageBlock(" | "));
        return 1;
    }
    std::printf("%s\n", failures ? "myhost: FAILED" : "myhost: all checks passed");
    return failures ? 1 : 0;
}
