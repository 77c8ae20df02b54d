// Console keyboard input.
#include "zel/ConsoleIO.h"

#include "platform/Console.h"

namespace zel {

ConsoleIO::ConsoleIO() = default;
ConsoleIO::ConsoleIO(const ConsoleIO&) {}
ConsoleIO& ConsoleIO::operator=(const ConsoleIO&) { // NOLINT(cert-oop54-cpp) // nothing is copied
    return *this;
}
ConsoleIO::~ConsoleIO() = default;

char ConsoleIO::GetChar() {
    return static_cast<char>(platform::ConsoleGetKey());
}

int ConsoleIO::KeyBoardHit() {
    return platform::ConsoleKeyWaiting();
}

} // namespace zel
