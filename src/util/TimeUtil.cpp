#include "zel/TimeUtil.h"

#include "zel/Exception.h"
#include "platform/Time.h"

namespace zel {
namespace util {

namespace {

// The catch-and-annotate guard of the three conversions.
template <typename Body> auto Guarded(const char* function, Body body) -> decltype(body()) {
    try {
        return body();
    } catch (Exception& e) {
        e.appendMessage("%s::%s: Exception caught", "strutil", function);
        e.rethrow();
    } catch (...) {
        throw Exception("%s::%s: Severe error caught", "strutil", function);
    }
    return decltype(body())();
}

long long TimeOrNow(const long long* time) {
    return time != nullptr ? *time : platform::CurrentTime();
}

} // namespace

unsigned long long TickCount() {
    return platform::TickCountMs();
}

std::tm* gmtime(const long long* time, std::tm* result) {
    return Guarded("gmtime", [&] {
        if (result == nullptr)
            throw Exception("pGMTime is null");
        platform::ToUtc(TimeOrNow(time), *result);
        return result;
    });
}

std::tm* localtime(const long long* time, std::tm* result) {
    return Guarded("localtime", [&] {
        if (result == nullptr)
            throw Exception("pLocalTime is null");
        platform::ToLocal(TimeOrNow(time), *result);
        return result;
    });
}

char* asctime(const std::tm* time, char* buffer, unsigned int size) {
    return Guarded("asctime", [&] {
        if (buffer == nullptr)
            throw Exception("buffer is null");
        if (size < 26)
            throw Exception("buffer must be at least 26 characters long, actual size = %i",
                            static_cast<int>(size));
        std::tm now{};
        if (time == nullptr) {
            platform::ToLocal(platform::CurrentTime(), now);
            time = &now;
        }
        platform::FormatAscTime(*time, buffer, size);
        return buffer;
    });
}

} // namespace util
} // namespace zel
