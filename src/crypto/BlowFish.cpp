// BlowFish: the text-keyed cipher and its stored format (see zel/BlowFish.h).
#include "zel/BlowFish.h"

#include "crypto/BlowFishCore.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zel {

namespace {

namespace bf = detail::blowfish;
using Variant = bf::LibraryVariant;

constexpr std::uint32_t kMagic = 0xFACD0E37;
constexpr std::size_t kHeaderBytes = 8;

// The number of key bytes that count: the text's length, but at most 72, so a
// key of any length is read only as far as it matters. 0 for a null key.
unsigned int KeyBytes(const char* key) {
    if (key == nullptr)
        return 0;
    unsigned int n = 0;
    while (n < bf::kMaxKeyBytes && key[n] != '\0')
        ++n;
    return n;
}

// The working tables of one call, wiped when the call leaves.
class KeyTables {
public:
    KeyTables(const char* key, unsigned int keyBytes) {
        bf::Schedule<Variant>(m_tables, reinterpret_cast<const unsigned char*>(key), keyBytes);
    }
    ~KeyTables() { bf::SecureWipe(&m_tables, sizeof m_tables); }
    KeyTables(const KeyTables&) = delete;
    KeyTables& operator=(const KeyTables&) = delete;

    const bf::Tables& Get() const { return m_tables; }

private:
    bf::Tables m_tables;
};

// A heap buffer for plain text, wiped before it is released.
class WorkBuffer {
public:
    explicit WorkBuffer(std::size_t bytes)
        : m_data(static_cast<unsigned char*>(memory::allocate(bytes))), m_size(bytes) {
        if (m_data == nullptr)
            throw MemoryException();
    }
    ~WorkBuffer() {
        bf::SecureWipe(m_data, m_size);
        memory::release(m_data);
    }
    WorkBuffer(const WorkBuffer&) = delete;
    WorkBuffer& operator=(const WorkBuffer&) = delete;

    unsigned char* Data() { return m_data; }

private:
    unsigned char* m_data;
    std::size_t m_size;
};

void CopyInto(Array<unsigned char>& out, const unsigned char* bytes, std::size_t n) {
    out.SetSize(static_cast<unsigned int>(n));
    if (n != 0)
        std::memcpy(out.Data(), bytes, n);
}

// Lays out header, data and padding, enciphers them and stores the result in out.
// The data is copied first, so it may lie inside out's storage.
void Seal(const char* key, unsigned int keyBytes, const unsigned char* data, std::size_t n,
          Array<unsigned char>& out) {
    const std::uint64_t total = ((std::uint64_t(n) + 7) & ~std::uint64_t(7)) + kHeaderBytes;
    if (total > 0xFFFFFFFFull)
        throw MemoryException();
    const std::size_t t = static_cast<std::size_t>(total);

    WorkBuffer work(t);
    unsigned char* block = work.Data();
    bf::StoreLittleEndian(block, kMagic);
    bf::StoreLittleEndian(block + 4, static_cast<std::uint32_t>(n));
    std::memcpy(block + kHeaderBytes, data, n);
    std::memset(block + kHeaderBytes + n, 0, t - kHeaderBytes - n);
    {
        const KeyTables tables(key, keyBytes);
        bf::Process<Variant, true>(tables.Get(), block, t);
    }
    CopyInto(out, block, t);
}

// Deciphers block[0..n) in place (n a non-zero multiple of 8). True when the
// header holds the magic word and a length that fits the data; `length` is then
// that length.
bool Unseal(const char* key, unsigned int keyBytes, unsigned char* block, std::size_t n,
            std::size_t& length) {
    {
        const KeyTables tables(key, keyBytes);
        bf::Process<Variant, false>(tables.Get(), block, n);
    }
    if (bf::LoadLittleEndian(block) != kMagic)
        return false;
    const std::uint32_t stored = bf::LoadLittleEndian(block + 4);
    if (stored > n - kHeaderBytes)
        return false;
    length = stored;
    return true;
}

} // namespace

BlowFish& BlowFish::operator=(const BlowFish&) { // NOLINT(cert-oop54-cpp) // nothing is copied
    return *this;
}

BlowFish& BlowFish::operator=(BlowFish&&) noexcept {
    return *this;
}

void BlowFish::Encrypt(const char* key, const char* text, Array<unsigned char>& out) {
    const unsigned int keyBytes = KeyBytes(key);
    const unsigned int n = util::strlen(text);
    if (keyBytes == 0 || n == 0) {
        out.SetSize(0);
        return;
    }
    Seal(key, keyBytes, reinterpret_cast<const unsigned char*>(text), n, out);
}

void BlowFish::Encrypt(const char* key, const Array<unsigned char>& in, int length,
                       Array<unsigned char>& out) {
    const unsigned int keyBytes = KeyBytes(key);
    if (keyBytes == 0 || length <= 0 || static_cast<unsigned int>(length) > in.Size()) {
        out.SetSize(0);
        return;
    }
    Seal(key, keyBytes, in.Data(), static_cast<std::size_t>(length), out);
}

bool BlowFish::Decrypt(const char* key, const Array<unsigned char>& in, BaseString<char>& out) {
    const unsigned int keyBytes = KeyBytes(key);
    const std::size_t n = in.Size();
    if (keyBytes == 0 || n == 0 || n % 8 != 0) {
        out = static_cast<const char*>(nullptr);
        return false;
    }
    // One byte more than the data: a terminator for reading the block as a text.
    WorkBuffer work(n + 1);
    unsigned char* block = work.Data();
    std::memcpy(block, in.Data(), n);
    block[n] = 0;
    std::size_t length = 0;
    if (Unseal(key, keyBytes, block, n, length)) {
        block[kHeaderBytes + length] = 0;
        out = reinterpret_cast<const char*>(block + kHeaderBytes);
        return true;
    }
    out = reinterpret_cast<const char*>(block);
    return false;
}

bool BlowFish::Decrypt(const char* key, const Array<unsigned char>& in, int length,
                       Array<unsigned char>& out) {
    const unsigned int keyBytes = KeyBytes(key);
    if (keyBytes == 0 || length <= 0 || static_cast<unsigned int>(length) > in.Size() ||
        length % 8 != 0) {
        out.SetSize(0);
        return false;
    }
    const std::size_t n = static_cast<std::size_t>(length);
    WorkBuffer work(n);
    unsigned char* block = work.Data();
    std::memcpy(block, in.Data(), n);
    std::size_t stored = 0;
    const bool found = Unseal(key, keyBytes, block, n, stored);
    CopyInto(out, block + kHeaderBytes, found ? stored : n - kHeaderBytes);
    return found;
}

} // namespace zel
