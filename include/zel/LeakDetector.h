// ZELBase leak detector interface.
//
// `LeakDetector` is the interface through which a host registers allocations by
// address (Add), deregisters them (Remove) and names the detector (SetName). In
// this library every operation is empty: nothing is recorded or reported and the
// name is never stored, so hosts may call them on every allocation at the cost of
// a call. A plain value class: it can be constructed, copied, assigned and
// destroyed freely, and no operation touches shared state, so any thread may use
// its own detector.
//
// Example:
//   zel::LeakDetector d("heap");
//   d.SetName("other").Add(p, "buffer");   // chained; nothing recorded
//   d.Remove(p);                          // nothing happens
#pragma once

#include "zel/Export.h"

#include <string>

namespace zel {

class ZEL_API LeakDetector {
public:
    // The name is not stored (m_name stays empty); `name` may be null.
    LeakDetector(const char* name = nullptr);
    LeakDetector(const LeakDetector& other);
    LeakDetector& operator=(const LeakDetector& other);
    ~LeakDetector();

    // Does nothing; any pointers, null included, are accepted.
    void Add(void* block, const char* description);
    // Does nothing; a block never added, or removed twice, is accepted.
    void Remove(void* block);
    // Does nothing but return this detector, so that calls can be chained.
    LeakDetector& SetName(const char* name);

private:
    // Empty after every constructor; no operation writes it afterwards.
    std::string m_name;
    // Reserved for a tracking implementation; zero here and copied along.
    unsigned int m_reserved;
    unsigned char m_reservedFlag;
};

} // namespace zel
