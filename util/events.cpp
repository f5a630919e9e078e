// The events of a bulletin, found by name through a hash table.  Names come
// from the input, so whoever writes them could choose many that share a
// slot of a hash known beforehand, and make every look-up pass them all:
// the hash is SipHash-1-3 under a key drawn at random for each run.
#include "events.h"

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
    size_t more = static_cast<size_t>(room) / 2 + 4;
    more = need > most ? 0 : most - need < more ? most : need + more;
    auto *bigger = more ? static_cast<Item *>(realloc(items, more * sizeof *items)) : nullptr;
    if (!bigger)
        return false;
    items = bigger;
    room = static_cast<Count>(more);
    return true;
}

// Doubles the table, each event going to the slot its hash gives.
bool double_table(Events &e)
{
    size_t n = e.nslots ? 2 * e.nslots : 16;
    auto *slots = static_cast<Events::Slot *>(calloc(n, sizeof *e.slots));
    if (!slots)
        return false;
    for (size_t i = 0; i < e.nslots; i++) {
        if (!e.slots[i].event)
            continue;
        size_t at = e.slots[i].hash & (n - 1);
        while (slots[at].event)
            at = (at + 1) & (n - 1);
        slots[at] = e.slots[i];
    }
    free(e.slots);
    e.slots = slots;
    e.nslots = n;
    return true;
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

// The table is kept at most half full, so that a name not held is found
// missing after a slot or two.
Event *events_find(Events &e, const char *name, size_t len)
{
    bool gathered = e.gathered > 0 && name == events_gathered(e);
    e.gathered = 0;
    if (2 * (e.count + 1) > e.nslots && !double_table(e))
        return nullptr;
    uint64_t hash = siphash13(e.key, name, len);
    size_t at = hash & (e.nslots - 1);
    for (; e.slots[at].event; at = (at + 1) & (e.nslots - 1)) {
        Event &ev = e.list[e.slots[at].event - 1];
        if (e.slots[at].hash == hash && ev.name_len == len && memcmp(e.names + ev.name, name, len) == 0)
            return &ev;
    }
    if (!make_room(e.list, e.list_room, e.count + 1, SIZE_MAX / sizeof *e.list) ||
        (!gathered && !make_room(e.names, e.names_room, e.names_len + len, SIZE_MAX)))
        return nullptr;
    if (!gathered)
        memcpy(e.names + e.names_len, name, len);
    e.list[e.count] = Event{e.names_len, len, nullptr, 0, 0};
    e.names_len += len;
    e.slots[at] = Events::Slot{hash, ++e.count};
    return &e.list[e.count - 1];
}

bool events_file(Event &ev, float ml)
{
    if (!make_room(ev.ml, ev.room, static_cast<size_t>(ev.n) + 1, INT_MAX))
        return false;
    ev.ml[ev.n++] = ml;
    return true;
}
