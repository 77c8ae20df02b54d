// ZELBase pooled-object base.
//
// `PooledObject` is the abstract base of objects that a host program keeps in a
// pool of its own. The library holds no pool and calls none of the operations;
// the class fixes the shape that pooling code relies on: only derived classes may
// create an object, code outside the hierarchy cannot delete one through the base
// (the destructor is protected), and the two pool operations come first in the
// table of virtual operations, before the destructor.
//
// Example:
//   class Buffer : public zel::PooledObject {
//   public:
//       static Buffer* Make() { return new Buffer; }
//       void Reset() override { m_used = 0; }          // ready for the next user
//       void ReleaseToPool() override { Reset(); g_pool.push_back(this); }
//   private:
//       int m_used = 0;
//   };
//   Buffer* b = Buffer::Make();
//   b->ReleaseToPool();       // back in the host's pool; `delete` through the base does not
//   compile
#pragma once

#include "zel/Export.h"

namespace zel {

// Abstract base of pooled objects. Holds no data; copying copies nothing.
// Thread safety: none of its own; the derived class and its pool decide.
class ZEL_API PooledObject {
public:
    // The same as constructing afresh: there is nothing to copy.
    PooledObject(const PooledObject& other);
    // Copies nothing; returns this object.
    PooledObject& operator=(const PooledObject& other);

    // Brings the object back to the state of a fresh one, ready for its next user.
    // Called by the pool when it hands the object out again.
    virtual void Reset() = 0;
    // Gives the object back to the pool it came from (or ends it, if the pool is
    // full). The caller must not use the object afterwards.
    virtual void ReleaseToPool() = 0;

protected:
    PooledObject();
    // Does nothing. Protected: a derived class decides how its objects end.
    virtual ~PooledObject();
};

} // namespace zel
