// zel mutex and zel isadmin: kernel objects that every account may open, and the
// administrator test.
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Security.h"

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <thread>

namespace zeltool {

namespace {

struct MutexOptions {
    std::string name;
    double hold = 0;
    double timeout = 30;
    bool tryOnly = false;
};

// The exit status when another process holds the mutex, apart from failures.
const int kHeldElsewhere = 3;

int runMutex(const MutexOptions& o) {
    int created = 0;
    void* mutex = zel::util::ObtainAccessableMutex(0, o.name.c_str(), &created);
    if (mutex == nullptr)
        throw Failure("cannot obtain the mutex " + o.name + " (details in the error log)");
    struct Closer {
        void* handle;
        ~Closer() { zel::util::CloseAccessableHandle(handle); }
    } closer{mutex};
    std::printf("obtained %s (%s)\n", o.name.c_str(), created ? "created" : "opened existing");
    std::fflush(stdout);

    const unsigned int waitMs =
        o.tryOnly ? 0u : static_cast<unsigned int>(o.timeout * 1000.0 + 0.5);
    const int got = zel::util::WaitAccessableMutex(mutex, waitMs);
    if (got == zel::util::AccessableWaitTimeout) {
        std::fflush(stdout);
        std::fprintf(stderr, "zel: mutex: %s is held by another process (waited %u ms)\n",
                     o.name.c_str(), waitMs);
        return kHeldElsewhere;
    }
    if (got != zel::util::AccessableWaitAcquired && got != zel::util::AccessableWaitAbandoned)
        throw Failure("cannot wait for the mutex " + o.name);
    std::printf("owned %s%s\n", o.name.c_str(),
                got == zel::util::AccessableWaitAbandoned ? " (abandoned by its previous owner)"
                                                          : "");
    if (o.hold > 0) {
        std::printf("holding for %g s\n", o.hold);
        std::fflush(stdout);
        std::this_thread::sleep_for(
            std::chrono::milliseconds(static_cast<long long>(o.hold * 1000)));
    }
    if (!zel::util::ReleaseAccessableMutex(mutex))
        throw Failure("cannot release the mutex " + o.name);
    std::printf("released %s\n", o.name.c_str());
    return 0;
}

// A number of seconds from 0 to one day, or one clear line saying so.
CLI::Validator seconds() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(value >= 0.0 && value <= 86400.0))
                return "must be a number of seconds from 0 to 86400: " + text;
            return std::string();
        },
        "");
}

} // namespace

void addOs(CLI::App& app) {
    auto o = std::make_shared<MutexOptions>();
    CLI::App* mutex = app.add_subcommand(
        "mutex", "Obtain the named mutex every account may open, own it, hold it, release it");
    mutex->add_option("NAME", o->name, "Name of the mutex")->required();
    mutex->add_option("--hold", o->hold, "Seconds to hold it once owned (default 0)")
        ->type_name("SECONDS")
        ->check(seconds());
    auto* timeout = mutex
                        ->add_option("--timeout", o->timeout,
                                     "Seconds to wait while another process owns it (default 30)")
                        ->type_name("SECONDS")
                        ->check(seconds());
    mutex
        ->add_flag("--try", o->tryOnly,
                   "Do not wait: take it only if no other process holds it now")
        ->excludes(timeout);
    mutex->footer("Exit status: 0 when it was obtained (and released again), 3 when another\n"
                  "process holds it (at once with --try, or when --timeout ran out), 1 on\n"
                  "any other failure, 2 for a usage error. For scripts:\n"
                  "    zel mutex NAME --try; case $? in 0) free;; 3) held;; *) failed;; esac");
    setRunner(mutex, [o]() -> int { return runMutex(*o); });

    CLI::App* admin = app.add_subcommand(
        "isadmin", "Print yes when this process is accepted as a local administrator, else no");
    setRunner(admin, []() -> int {
        std::printf("%s\n", zel::util::IsAdmin() ? "yes" : "no");
        return 0;
    });
}

} // namespace zeltool
