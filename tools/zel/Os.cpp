// zel mutex and zel isadmin: kernel objects that every account may open, and the
// administrator test.
#include "Tool.h"

#include <CLI/CLI.hpp>

#include "zel/Security.h"

#include <chrono>
#include <cmath>
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
    // An empty name would make an unnamed mutex, free every time: a script's
    // unset variable, not a question worth an answer.
    if (o.name.empty())
        throw UsageError("NAME must not be empty");
    const std::string shown = shellQuoted(o.name);
    int created = 0;
    void* mutex = zel::util::ObtainAccessableMutex(0, o.name.c_str(), &created);
    if (mutex == nullptr)
        throw Failure("cannot open the mutex " + shown + " (details in the error log)");
    struct Closer {
        void* handle;
        ~Closer() { zel::util::CloseAccessableHandle(handle); }
    } closer{mutex};

    const unsigned int waitMs =
        o.tryOnly ? 0u : static_cast<unsigned int>(std::llround(o.timeout * 1000.0));
    const int got = zel::util::WaitAccessableMutex(mutex, waitMs);
    if (got == zel::util::AccessableWaitTimeout) {
        const std::string holder = native::mutexHolder(o.name);
        std::printf("held %s\n", shown.c_str());
        // A failure of standard output stays in ferror(stdout), told at the end;
        // a failing standard error has nowhere else to be told.
        (void)std::fflush(stdout);
        (void)std::fprintf(
            stderr, "zel: mutex: %s is held by %s%s\n", quotedName(o.name).c_str(),
            holder.empty() ? "another process (the system does not say which)" : holder.c_str(),
            o.tryOnly ? "" : (" (waited " + std::to_string(waitMs) + " ms)").c_str());
        return kHeldElsewhere;
    }
    if (got != zel::util::AccessableWaitAcquired && got != zel::util::AccessableWaitAbandoned)
        throw Failure("cannot wait for the mutex " + shown);
    std::printf("owned %s (%s)%s\n", shown.c_str(), created ? "created" : "opened existing",
                got == zel::util::AccessableWaitAbandoned ? " (abandoned by its previous owner)"
                                                          : "");
    if (o.hold > 0) {
        std::printf("holding for %g s\n", o.hold);
        (void)std::fflush(stdout); // a failure stays in ferror(stdout), told at the end
        std::this_thread::sleep_for(
            std::chrono::milliseconds(static_cast<long long>(o.hold * 1000)));
    }
    if (!zel::util::ReleaseAccessableMutex(mutex))
        throw Failure("cannot release the mutex " + shown);
    std::printf("released %s\n", shown.c_str());
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
    mutex->footer("Prints \"owned NAME\" once it owns it (and \"released NAME\" after), or\n"
                  "\"held NAME\" when another process holds it; standard error then names\n"
                  "that process where the system tells (Linux: to root, or to the holder's\n"
                  "own account), else says it cannot.\n"
                  "Exit status: 0 when it was owned (and released again), 3 when another\n"
                  "process holds it (at once with --try, or when --timeout ran out), 1 on\n"
                  "any other failure, 2 for a usage error (an empty NAME too). For scripts:\n"
                  "    zel mutex NAME --try; case $? in 0) free;; 3) held;; *) failed;; esac\n");
    setRunner(mutex, [o]() -> int { return runMutex(*o); });

    CLI::App* admin = app.add_subcommand(
        "isadmin", "Print yes when this process is accepted as a local administrator, else no");
    admin->footer("Exit status 0 for yes, 1 for no (as test answers).");
    setRunner(admin, []() -> int {
        const bool admin = zel::util::IsAdmin();
        std::printf("%s\n", admin ? "yes" : "no");
        return admin ? 0 : 1;
    });
}

} // namespace zeltool
