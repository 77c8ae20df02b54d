// File input and output of the tool: reads, and writes that never leave partial
// output behind.
#include "Tool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

namespace zeltool {

std::string readAll(const std::string& path, std::size_t limit) {
    // Read through the descriptor, not a stream: a stream takes a read error for
    // the end of the input (standard input) or throws its own text (a file).
    int fd = 0;
    if (path == "-") {
        setBinaryMode(true);
    } else {
        long long size = 0;
        bool regular = false;
        fd = native::openForReading(path, size, regular);
        if (fd == -1)
            throw Failure(path + ": cannot open: " + native::errorText(errno));
    }
    const std::string name = path == "-" ? std::string("standard input") : path;
    std::string data;
    char buffer[4096];
    int error = 0;
    for (;;) {
        const long long got = native::readSome(fd, buffer, sizeof buffer);
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        if (data.size() + static_cast<std::size_t>(got) > limit) {
            error = -1;
            break;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    if (fd != 0)
        native::closeFile(fd);
    if (error == -1)
        throw Failure(name + ": more than " + std::to_string(limit) + " bytes");
    if (error != 0)
        throw Failure(name + ": cannot read: " + native::errorText(error));
    return data;
}

OutputFile::OutputFile(const std::string& target) : m_target(target) {
    if (native::isDirectory(target))
        throw UsageError("-o " + target + ": is a folder, not a file");
    std::random_device random;
    for (int attempt = 0; attempt < 16 && m_fd == -1; ++attempt) {
        char suffix[32]; // holds any 32-bit value: snprintf cannot cut it short
        (void)std::snprintf(suffix, sizeof suffix, ".zel-%08x.tmp",
                            static_cast<unsigned>(random()));
        m_temporary = target + suffix;
        m_fd = native::createPrivate(m_temporary);
        if (m_fd == -1 && errno != EEXIST)
            break;
    }
    if (m_fd == -1)
        throw Failure(target +
                      ": cannot create a temporary file beside it: " + native::errorText(errno));
    native::removeOnSignal(m_temporary, m_fd);
}

OutputFile::~OutputFile() {
    if (m_fd != -1) {
        native::keepOnSignal();
        native::closeFile(m_fd);
        native::removeFile(m_temporary);
    }
}

void OutputFile::writeAt(long long offset, const void* data, std::size_t n) {
    if (!native::writeAt(m_fd, offset, data, n))
        throw Failure(m_target + ": cannot write " + m_temporary + ": " + native::errorText(errno));
}

void OutputFile::commit(long long length) {
    if (!native::setLength(m_fd, length) || !native::syncToDisk(m_fd))
        throw Failure(m_target + ": cannot write " + m_temporary + ": " + native::errorText(errno));
    native::adoptModeOf(m_fd, m_target);
    const int fd = m_fd;
    m_fd = -1;
    // An interruption up to the rename still removes the temporary file; after
    // it, the name is gone and removing it does nothing.
    const bool closed = native::closeFile(fd);
    const int closeError = errno;
    const bool replaced = closed && native::replaceFile(m_temporary, m_target);
    const int error = closed ? errno : closeError;
    native::keepOnSignal();
    if (!replaced) {
        native::removeFile(m_temporary);
        throw Failure(m_target + ": cannot replace: " + native::errorText(error));
    }
}

StdinData::StdinData(int fd, long long limit, const std::string& tooLarge) {
    if (fd == -1) {
        setBinaryMode(true);
        fd = 0;
    }
    std::size_t used = kChunk;
    for (;;) {
        if (used == kChunk) {
            try {
                m_chunks.emplace_back(new unsigned char[kChunk]);
            } catch (const std::bad_alloc&) {
                throw Failure("standard input: not enough memory to hold it (" +
                              std::to_string(m_size) + " bytes read)");
            }
            used = 0;
        }
        const long long got = native::readSome(fd, m_chunks.back().get() + used, kChunk - used);
        if (got < 0)
            throw Failure("cannot read " + std::string(fd == 0 ? "standard input" : "the input") +
                          ": " + native::errorText(errno));
        if (got == 0)
            return;
        used += static_cast<std::size_t>(got);
        m_size += got;
        if (m_size > limit)
            throw Failure(tooLarge);
    }
}

void StdinData::read(long long offset, unsigned char* to, std::size_t n) const {
    while (n > 0) {
        const std::size_t chunk = static_cast<std::size_t>(offset / kChunk);
        const std::size_t at = static_cast<std::size_t>(offset % kChunk);
        const std::size_t step = std::min(n, kChunk - at);
        std::memcpy(to, m_chunks[chunk].get() + at, step);
        to += step;
        offset += static_cast<long long>(step);
        n -= step;
    }
}

} // namespace zeltool
