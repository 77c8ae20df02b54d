// Win32 code only: console keys through the runtime's _getch and _kbhit.
#include "platform/Console.h"

#include <conio.h>

namespace zel {
namespace platform {

int ConsoleGetKey() {
    return _getch();
}
int ConsoleKeyWaiting() {
    return _kbhit();
}

} // namespace platform
} // namespace zel
