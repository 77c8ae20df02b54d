// Objects with static storage that are built but never destroyed.
//
// The library's calls may come from a host's global destructor, an atexit handler
// or a thread still running while the process exits: after the destructors of
// function-local statics made inside main, and while the library's own globals
// are torn down. State such a call touches (the log's lock and buffers, the
// registries of open objects) is therefore kept in an Immortal: built in place
// when its definition is reached (at load for a namespace-scope object, at first
// use for a function-local one, thread-safely either way) and never destroyed,
// so it stays valid until the process ends or the library's image goes away.
// Immortal itself is trivially destructible, so no exit-time handler is registered
// for it. Memory the object owns stays reachable from the image and is returned
// with the process.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

namespace zel {
namespace base {

template <typename T> class Immortal {
public:
    template <typename... Args>
    explicit Immortal(Args&&... args) noexcept(std::is_nothrow_constructible_v<T, Args...>) {
        ::new (static_cast<void*>(m_storage)) T(std::forward<Args>(args)...);
    }
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;

    T& operator*() noexcept { return *get(); }
    T* operator->() noexcept { return get(); }
    T* get() noexcept { return std::launder(reinterpret_cast<T*>(m_storage)); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

namespace immortal_check {
struct WithDestructor {
    ~WithDestructor();
};
static_assert(std::is_trivially_destructible_v<Immortal<WithDestructor>>,
              "an Immortal must not register an exit-time destructor");
} // namespace immortal_check

} // namespace base
} // namespace zel
