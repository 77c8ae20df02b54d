// The six derived exception classes and their fixed messages.
#include "zel/Exception.h"

namespace zel {

namespace {
const char* OrNullText(const char* s) {
    return s != nullptr ? s : "(null)";
}
} // namespace

// Copying, moving and assignment behave as Exception's copy for every class.
// X is a class name, which takes no parentheses:
// NOLINTBEGIN(bugprone-macro-parentheses)
#define ZEL_EXCEPTION_COPY_MEMBERS(X)                                                              \
    X::X(const X& other) : Exception(other) {}                                                     \
    X::X(X&& other) : Exception(other) {}                                                          \
    X& X::operator=(const X& other) {                                                              \
        Exception::operator=(other);                                                               \
        return *this;                                                                              \
    }                                                                                              \
    X& X::operator=(X&& other) {                                                                   \
        Exception::operator=(other);                                                               \
        return *this;                                                                              \
    }                                                                                              \
    X::~X() {}
// NOLINTEND(bugprone-macro-parentheses)

// Below, every class's moves copy (they may allocate), and Exception's assignment
// handles self-assignment: NOLINTBEGIN(performance-noexcept-move-constructor,cert-oop54-cpp)

BadParameterException::BadParameterException(const char* parameter, const char* value) {
    appendMessage("Parameter \"%s\" value \"%s\" is unrecognized; perhaps your system components "
                  "need updating?",
                  OrNullText(parameter), OrNullText(value));
}
ZEL_EXCEPTION_COPY_MEMBERS(BadParameterException)
// copies (may allocate); Exception's assignment handles itself

InvalidIndexException::InvalidIndexException(int index, int highest) {
    SetMessage(index, 0, highest);
}
InvalidIndexException::InvalidIndexException(int index, int low, int high) {
    SetMessage(index, low, high);
}
void InvalidIndexException::SetMessage(int index, int low, int high) {
    if (high >= low)
        appendMessage("An invalid index value (%d) has been detected; legal values are between %d "
                      "and %d",
                      index, low, high);
    else
        appendMessage("An invalid index value (%d) has been detected; there are zero items", index);
}
ZEL_EXCEPTION_COPY_MEMBERS(InvalidIndexException)
// copies (may allocate); Exception's assignment handles itself

MemoryException::MemoryException() {
    appendMessage("No more memory is available.");
}
ZEL_EXCEPTION_COPY_MEMBERS(MemoryException)
// copies (may allocate); Exception's assignment handles itself

NotImplementedException::NotImplementedException(const char* name) {
    appendMessage("Unsupported interface: %hs", name != nullptr ? name : "");
}
ZEL_EXCEPTION_COPY_MEMBERS(NotImplementedException)
// move copies (may allocate); Exception's assignment handles itself

OutOfRangeException::OutOfRangeException(const char* name, int low, int high, int index) {
    appendMessage("%s: Index \"%d\" out of range: [%d,%d]", OrNullText(name), index, low, high);
}
ZEL_EXCEPTION_COPY_MEMBERS(OutOfRangeException)
// copies (may allocate); Exception's assignment handles itself

TimeoutException::TimeoutException() {
    appendMessage("Operation has overrun its specified timeout limit.");
}
TimeoutException::TimeoutException(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SetMessageOnStack(format, args);
    va_end(args);
}
ZEL_EXCEPTION_COPY_MEMBERS(TimeoutException)
// copies (may allocate); Exception's assignment handles itself

void TimeoutException::rethrow() {
    throw TimeoutException(*this);
}

} // namespace zel
// NOLINTEND(performance-noexcept-move-constructor,cert-oop54-cpp)
