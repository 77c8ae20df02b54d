// A host program as small as one can be: it includes the public headers and uses
// one header template. Compiled by refusal.cmake with toolchains that the headers
// must refuse (and, as a control, with one they accept).
#include "zel/ZELBase.h"

int main() {
    zel::BaseString<char> text("host");
    return text.Length() == 4 ? 0 : 1;
}
