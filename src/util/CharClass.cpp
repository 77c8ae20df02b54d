#include "zel/StringUtil.h"

namespace zel {
namespace util {

bool isdigit(int c) {
    return c >= 0x30 && c <= 0x39;
}
bool ishexdigit(int c) {
    return (c >= 0x30 && c <= 0x39) || (c >= 0x61 && c <= 0x66) || (c >= 0x41 && c <= 0x46);
}
bool islower(int c) {
    return c >= 0x61 && c <= 0x7A;
}
bool isupper(int c) {
    return c >= 0x41 && c <= 0x5A;
}
bool IsSpace(int c) {
    return c == 0x20 || c == 0x0D || c == 0x0A || c == 0x09 || c == 0xA0;
}
int tolower(int c) {
    return (c >= 0x41 && c <= 0x5A) ? c + 0x20 : c;
}
int toupper(int c) {
    return (c >= 0x61 && c <= 0x7A) ? c - 0x20 : c;
}

int hexdigit(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

unsigned char convertISO_8859_1Char(char c) {
    return static_cast<unsigned char>(c);
}

} // namespace util
} // namespace zel
