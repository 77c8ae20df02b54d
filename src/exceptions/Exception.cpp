// The instance side of Exception: the message stack and the catch-and-annotate helpers.
#include "zel/Exception.h"

#include "exceptions/Format.h"
#include "platform/CallDeadline.h"

namespace zel {

namespace {
const char kEmpty[] = "";
const unsigned int kMirrorAllMs = 1000;
} // namespace

// The one definition of the log path's capacity: it is exported data of the
// library, so hosts and the library agree on one object.
const unsigned int Exception::MaxPathSize;

Exception::Exception() : m_delayedLogging(false) {}

Exception::Exception(const char* format, ...) : m_delayedLogging(false) {
    va_list args;
    va_start(args, format);
    SetMessageOnStack(format, args);
    va_end(args);
}

Exception::Exception(const Exception& other) : m_delayedLogging(false) {
    AssignFrom(other);
}

Exception::~Exception() {
    try {
        if (m_delayedLogging)
            mirrorAllMessages();
    } catch (...) {
    }
    CleanAll();
}

// NOLINTNEXTLINE(cert-oop54-cpp) // AssignFrom checks for itself
Exception& Exception::operator=(const Exception& other) {
    AssignFrom(other);
    return *this;
}

void Exception::rethrow() {
    throw Exception(*this);
}

void Exception::appendMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SetMessageOnStack(format, args);
    va_end(args);
}

void Exception::setDelayedLogging(bool delayed) {
    m_delayedLogging = delayed;
}

unsigned int Exception::getMessageTotal() const {
    return static_cast<unsigned int>(m_messageStack.size());
}

const char* Exception::getErrorMessage(unsigned int index) const {
    if (index >= m_messageStack.size())
        return kEmpty;
    return m_messageStack[index].first.c_str();
}

const char* Exception::getAt() const {
    if (m_messageStack.empty())
        return nullptr;
    return m_messageStack[0].first.c_str();
}

const char* Exception::getCharErrorMessageBlock(const char* separator) const {
    try {
        m_messageBlock.clear();
        for (std::size_t i = 0; i < m_messageStack.size(); ++i) {
            if (i != 0 && separator != nullptr)
                m_messageBlock += separator;
            m_messageBlock += m_messageStack[i].first;
        }
    } catch (...) {
        m_messageBlock = "Failed to convert exception messages";
    }
    return m_messageBlock.c_str();
}

void Exception::defineLocation(const char* location) {
    if (m_messageStack.empty())
        return;
    m_messageStack.back().second = location != nullptr ? location : "";
}

void Exception::dumpStack(std::vector<std::string>& messages, std::vector<std::string>& locations,
                          bool clear) {
    const std::size_t n = m_messageStack.size();
    messages.resize(n);
    locations.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        messages[i] = m_messageStack[i].first;
        locations[i] = m_messageStack[i].second;
    }
    if (clear)
        CleanAll();
}

void Exception::mirrorAllMessages() const {
    // All its lines wait for the log's locks within one deadline.
    platform::CallDeadline bound(kMirrorAllMs);
    for (const auto& entry : m_messageStack)
        MirrorErrorMessage("Error: ", entry.first.c_str(), true);
}

void Exception::clear() {
    CleanAll();
}

void Exception::SetMessageOnStack(const char* format, va_list arguments) {
    char buffer[detail::kFormatBufferSize];
    int length = detail::FormatText(buffer, format, arguments);
    if (length > 0) {
        // The entry is complete before it joins the stack: running out of memory
        // leaves the stack as it was, never with an empty message on top.
        std::pair<std::string, std::string> entry{std::string(buffer), std::string()};
        m_messageStack.push_back(std::move(entry));
        if (!m_delayedLogging)
            MirrorErrorMessage("Error: ", buffer, true);
    } else {
        MirrorErrorMessage("Format Error: ", format != nullptr ? format : "", true);
    }
}

void Exception::AssignFrom(const Exception& other) {
    if (this != &other) {
        // Copied aside first, so that running out of memory leaves this stack whole.
        auto copy = other.m_messageStack;
        m_messageStack.swap(copy);
    }
    m_messageBlock.clear();
}

void Exception::CleanAll() {
    m_messageStack.clear();
}

} // namespace zel
