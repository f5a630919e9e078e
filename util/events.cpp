// The events of a bulletin, found by name through a hash table.  Names come
// from the input, so whoever writes them could choose many that share a
// slot of a hash known beforehand, and make every look-up pass them all:
// the hash is SipHash-1-3 under a key drawn at random for each run.
#include "events.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

uint64_t rotate(uint64_t x, int bits) { return x << bits | x >> (64 - bits); }

void sip_round(uint64_t v[4])
{
    v[0] += v[1];
    v[1] = rotate(v[1], 13) ^ v[0];
    v[0] = rotate(v[0], 32);
    v[2] += v[3];
    v[3] = rotate(v[3], 16) ^ v[2];
    v[0] += v[3];
    v[3] = rotate(v[3], 21) ^ v[0];
    v[2] += v[1];
    v[1] = rotate(v[1], 17) ^ v[2];
    v[2] = rotate(v[2], 32);
}

// Up to eight bytes as a little-endian number.
uint64_t little_endian(const char *p, size_t len)
{
    uint64_t word = 0;
    for (size_t i = 0; i < len; i++)
        word |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return word;
}

uint64_t siphash13(const uint64_t key[2], const char *p, size_t len)
{
    uint64_t v[4] = {0x736f6d6570736575 ^ key[0], 0x646f72616e646f6d ^ key[1],
                     0x6c7967656e657261 ^ key[0], 0x7465646279746573 ^ key[1]};
    uint64_t last = static_cast<uint64_t>(len) << 56;
    for (; len >= 8; p += 8, len -= 8) {
        uint64_t word = little_endian(p, 8);
        v[3] ^= word;
        sip_round(v);
        v[0] ^= word;
    }
    last |= little_endian(p, len);
    v[3] ^= last;
    sip_round(v);
    v[0] ^= last;
    v[2] ^= 0xff;
    for (int i = 0; i < 3; i++)
        sip_round(v);
    return v[0] ^ v[1] ^ v[2] ^ v[3];
}

// 128 random bits from the system.  Should it have none to give, the clock
// and where the system put this call's stack, which it randomises, stand in.
void draw_key(uint64_t key[2])
{
    uint64_t bits[2] = {0, 0};
#ifdef HAVE_GETENTROPY
    int drawn = getentropy(bits, sizeof bits);
#else
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    ssize_t drawn = fd >= 0 ? read(fd, bits, sizeof bits) : -1;
    if (fd >= 0)
        close(fd);
#endif
    (void)drawn;  // what was not drawn stays 0
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    key[0] = bits[0] ^ static_cast<uint64_t>(now.tv_nsec) ^ reinterpret_cast<uintptr_t>(&now);
    key[1] = bits[1] ^ static_cast<uint64_t>(now.tv_sec) ^ static_cast<uint64_t>(getpid());
}

// Makes room for `need` items at `items`, which has room for `room`: half
// as much again and a few more, but at most `most`.  False when that is not
// enough or memory ran out, with the items as they were.
template <typename Item, typename Count>
bool make_room(Item *&items, Count &room, size_t need, size_t most)
{
    if (need <= static_cast<size_t>(room))
        return true;
    size_t more = std::min(most, need + static_cast<size_t>(room) / 2 + 4);  // less than need if it wraps
    auto *bigger = need <= more ? static_cast<Item *>(realloc(items, more * sizeof *items)) : nullptr;
    if (!bigger)
        return false;
    items = bigger;
    room = static_cast<Count>(more);
    return true;
}

// The slot where the search for a hash begins: the hash's fraction of the
// table, so that the table may have any size.
size_t first_slot(const Events &e, uint64_t hash) { return static_cast<size_t>((hash >> 32) * e.nslots >> 32); }

// The slot that holds the event of the name and hash, or the free one
// where it would go.
size_t slot(const Events &e, const char *name, size_t len, uint64_t hash)
{
    size_t at = first_slot(e, hash);
    for (; e.slots[at]; at = at + 1 < e.nslots ? at + 1 : 0) {
        const Event &ev = e.list[e.slots[at] - 1];
        if (ev.hash == hash && ev.name_len == len && memcmp(e.names + ev.name, name, len) == 0)
            break;
    }
    return at;
}

// A table grown takes each event anew.
void fill_table(Events &e)
{
    memset(e.slots, 0, e.nslots * sizeof *e.slots);
    for (size_t i = 0; i < e.count; i++) {
        const Event &ev = e.list[i];
        e.slots[slot(e, e.names + ev.name, ev.name_len, ev.hash)] = i + 1;
    }
}

}  // namespace

void events_open(Events &e)
{
    e = Events{};
    draw_key(e.key);
}

void events_close(Events &e)
{
    for (size_t i = 0; i < e.count; i++)
        free(e.list[i].ml);
    free(e.list);
    free(e.slots);
    free(e.names);
    e = Events{};
}

bool events_gather(Events &e, const char *piece, size_t len)
{
    if (len == 0)
        return true;
    size_t end = e.names_len + e.gathered;
    if (!make_room(e.names, e.names_room, end + len, SIZE_MAX))
        return false;
    memcpy(e.names + end, piece, len);
    e.gathered += len;
    return true;
}

// Room is made first for one event more, and its name, which may be the
// one gathered (that name is then kept where it is).  The table is kept at
// most half full, so that a name not held is found missing after a slot or
// two.
Event *events_find(Events &e, const char *name, size_t len)
{
    size_t nslots = e.nslots;
    e.gathered = 0;
    if (!make_room(e.list, e.list_room, e.count + 1, SIZE_MAX / sizeof *e.list) ||
        !make_room(e.names, e.names_room, e.names_len + len, SIZE_MAX) ||
        !make_room(e.slots, e.nslots, 2 * (e.count + 1), SIZE_MAX / sizeof *e.slots))
        return nullptr;
    if (e.nslots != nslots)
        fill_table(e);
    uint64_t hash = siphash13(e.key, name, len);
    size_t at = slot(e, name, len, hash);
    if (e.slots[at])
        return &e.list[e.slots[at] - 1];
    memmove(e.names + e.names_len, name, len);
    e.list[e.count] = Event{e.names_len, len, hash, nullptr, 0, 0};
    e.names_len += len;
    e.slots[at] = ++e.count;
    return &e.list[e.count - 1];
}

bool events_file(Event &ev, float ml)
{
    if (!make_room(ev.ml, ev.room, static_cast<size_t>(ev.n) + 1, INT_MAX))
        return false;
    ev.ml[ev.n++] = ml;
    return true;
}
