// The leak detector interface; every operation is deliberately empty.
#include "zel/LeakDetector.h"

namespace zel {

LeakDetector::LeakDetector(const char*) : m_name(), m_reserved(0), m_reservedFlag(0) {}

LeakDetector::LeakDetector(const LeakDetector& other)
    : m_name(other.m_name), m_reserved(other.m_reserved), m_reservedFlag(other.m_reservedFlag) {}

LeakDetector& LeakDetector::operator=(const LeakDetector& other) {
    if (this != &other)
        m_name = other.m_name;
    m_reserved = other.m_reserved;
    m_reservedFlag = other.m_reservedFlag;
    return *this;
}

LeakDetector::~LeakDetector() = default;

void LeakDetector::Add(void*, const char*) {}
void LeakDetector::Remove(void*) {}
LeakDetector& LeakDetector::SetName(const char*) {
    return *this;
}

} // namespace zel
