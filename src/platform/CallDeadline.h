// One deadline for all the waits of one call on shared objects.
//
// A public call may make several platform calls (create, open, create again),
// each retrying while another process holds or replaces a name. A CallDeadline
// on the caller's stack bounds them all together: every wait on this thread takes
// at most what is left of it. Without one, a wait takes its own bound only.
#pragma once

namespace zel {
namespace platform {

class CallDeadline {
public:
    // Starts now on the calling thread; an enclosing deadline that ends sooner
    // still holds.
    explicit CallDeadline(unsigned int milliseconds);
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

private:
    long long m_previous;
};

// What a wait of at most `milliseconds` may take on this thread: the smaller of
// that and what is left of the current call's deadline, and at least 1, so that
// a call past its deadline still tries once without waiting.
unsigned int CallWaitMs(unsigned int milliseconds);

// The same, but 0 once the deadline has passed: for a wait that may be given up
// (the error log's locks), which the caller then only tries, never waits for.
unsigned int CallWaitLeftMs(unsigned int milliseconds);

} // namespace platform
} // namespace zel
