// The pooled-object base: shape only, no behaviour.
#include "zel/PooledObject.h"

namespace zel {

PooledObject::PooledObject() = default;
PooledObject::PooledObject(const PooledObject&) {}
PooledObject&
PooledObject::operator=(const PooledObject&) { // NOLINT(cert-oop54-cpp) // nothing is copied
    return *this;
}
PooledObject::~PooledObject() = default;

} // namespace zel
