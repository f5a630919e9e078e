// The old listing of "tessik NEW OLD", held whole, and the table that finds
// its records: open addressing with linear probing, over a hash keyed at
// random for each run.  A fixed hash would let a listing made for it put
// every record in one run of slots, and each search would walk them all.
#include "old_listing.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint64_t rotate(uint64_t x, int bits) { return x << bits | x >> (64 - bits); }

// The first n characters at p, the first of them lowest: so every machine
// hashes alike.
uint64_t little_endian(const char *p, size_t n)
{
    uint64_t word = 0;
    for (size_t i = 0; i < n; i++)
        word |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << 8 * i;
    return word;
}

size_t tiny_bit(const char *record, size_t len)  // a 1, then the characters
{
    size_t bit = 1;
    for (size_t i = 0; i < len; i++)
        bit = bit << 8 | static_cast<unsigned char>(record[i]);
    return bit;
}

}  // namespace

// SipHash-1-3, a keyed hash whose values nobody without the key can steer.
uint64_t record_hash(HashKey key, const char *record, size_t len)
{
    uint64_t v0 = key.k0 ^ 0x736f6d6570736575u, v1 = key.k1 ^ 0x646f72616e646f6du;
    uint64_t v2 = key.k0 ^ 0x6c7967656e657261u, v3 = key.k1 ^ 0x7465646279746573u;
    auto round = [&] {
        v0 += v1, v1 = rotate(v1, 13), v1 ^= v0, v0 = rotate(v0, 32);
        v2 += v3, v3 = rotate(v3, 16), v3 ^= v2;
        v0 += v3, v3 = rotate(v3, 21), v3 ^= v0;
        v2 += v1, v1 = rotate(v1, 17), v1 ^= v2, v2 = rotate(v2, 32);
    };
    auto take = [&](uint64_t word) {
        v3 ^= word;
        round();
        v0 ^= word;
    };
    const char *p = record;
    for (const char *end = p + (len & ~size_t{7}); p < end; p += 8)
        take(little_endian(p, 8));
    take(static_cast<uint64_t>(len) << 56 | little_endian(p, len & 7));
    v2 ^= 0xff;
    round();
    round();
    round();
    return v0 ^ v1 ^ v2 ^ v3;
}

size_t record_at(const char *p, const char *end, const char **next)
{
    const char *nl = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
    *next = nl ? nl + 1 : end;
    size_t len = static_cast<size_t>((nl ? nl : end) - p);
    return len - (nl && len && p[len - 1] == '\r');
}

// Drawn from the system's randomness; where there is none to draw, made of
// the time and the process, which still vary from run to run.
HashKey random_key()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    HashKey key{static_cast<uint64_t>(now.tv_sec) << 30 ^ static_cast<uint64_t>(now.tv_nsec),
                static_cast<uint64_t>(getpid()) ^ reinterpret_cast<uintptr_t>(&now)};
    HashKey drawn;
#ifdef HAVE_GETENTROPY
    if (getentropy(&drawn, sizeof drawn) == 0)
        key = drawn;
#else
    int fd = open("/dev/urandom", O_RDONLY);  // read and close refuse a -1
    if (read(fd, &drawn, sizeof drawn) == static_cast<ssize_t>(sizeof drawn))
        key = drawn;
    close(fd);
#endif
    return key;
}

OldListing::~OldListing()
{
    free(text_);
    free(slots_);
}

// A regular file is read into a buffer of its size and one byte more, which
// a last read finds empty; anything else, or a file that claims no size
// (under /proc), into one that grows by half.  The byte to spare ends a
// last record that has no line end.
Input OldListing::read_all(int fd, size_t limit)
{
    constexpr size_t least = 1 << 16;
    struct stat st;
    bool sized = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
    if (sized && static_cast<uintmax_t>(st.st_size) > limit)
        return Input::too_large;
    size_t cap = sized ? static_cast<size_t>(st.st_size) + 1 : least;
    for (;;) {
        if (!text_ || size_ == cap) {
            if (size_ > limit)
                return Input::too_large;
            cap += text_ ? std::min(std::max(cap / 2, least), limit + 1 - cap) : 0;
            char *more = static_cast<char *>(realloc(text_, cap));
            if (!more)
                return Input::out_of_memory;
            text_ = more;
        }
        ssize_t got = read(fd, text_ + size_, cap - size_);
        if (got == 0)
            return Input::read;
        if (got < 0 && errno != EINTR)
            return Input::unreadable;
        size_ += got > 0 ? static_cast<size_t>(got) : 0;
    }
}

// Reads the listing, then keeps each record once, ended by '\n': the
// records kept move down over those left out.  The table is made for all
// records, so that it never grows.
Input OldListing::hold(int fd, HashKey key, size_t limit)
{
    key_ = key;
    Input read = read_all(fd, limit);
    if (read != Input::read)
        return read;
    const char *end = text_ + size_, *next;
    size_t n = 0;
    for (const char *p = text_; p < end; p = next) {
        size_t len = record_at(p, end, &next);
        n += len > 2;
        if (len <= 2)
            tiny_[tiny_bit(p, len) / 8] |= static_cast<unsigned char>(1 << tiny_bit(p, len) % 8);
    }
    nslots_ = n + n / 4 + 1;
    if (!(slots_ = static_cast<uint32_t *>(calloc(nslots_, sizeof *slots_))))
        return Input::out_of_memory;
    size_ = 0;
    for (const char *p = text_; p < end; p = next) {
        size_t len = record_at(p, end, &next);
        uint32_t *s = len > 2 ? slot(p, len) : nullptr;
        if (!s || *s)
            continue;
        memmove(text_ + size_, p, len);
        text_[size_ + len] = '\n';
        *s = static_cast<uint32_t>(size_ + 1);
        size_ += len + 1;
        longest_ = std::max(longest_, len);
    }
    return Input::read;
}

// The high half of the hash, scaled to the table: fewer than 2^32 slots.
size_t OldListing::home(const char *record, size_t len) const
{
    return static_cast<size_t>((record_hash(key_, record, len) >> 32) * nslots_ >> 32);
}

// The slot that holds the record, or the free one where it would go.
uint32_t *OldListing::slot(const char *record, size_t len) const
{
    for (size_t i = home(record, len);; i = i + 1 < nslots_ ? i + 1 : 0) {
        if (!slots_[i])
            return &slots_[i];
        const char *t = text_ + (slots_[i] - 1);
        if (len < static_cast<size_t>(text_ + size_ - t) && t[len] == '\n' && memcmp(t, record, len) == 0)
            return &slots_[i];
    }
}

bool OldListing::holds(const char *record, size_t len) const
{
    if (len <= 2)
        return tiny_[tiny_bit(record, len) / 8] >> tiny_bit(record, len) % 8 & 1;
    return len <= longest_ && *slot(record, len);
}
