// Console keyboard input.
#pragma once

namespace zel {
namespace platform {

// Waits for one key, read without echo or line buffering; keys of two codes give
// the prefix (0 or 0xE0) now and the key's code on the next call.
int ConsoleGetKey();
// Non-zero when a key (or the second code of one) can be read without waiting.
int ConsoleKeyWaiting();

} // namespace platform
} // namespace zel
