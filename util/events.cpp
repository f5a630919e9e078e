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
#include <type_traits>
#include <unistd.h>
#ifdef HAVE_MADV_HUGEPAGE
#include <sys/mman.h>
#endif

namespace {

uint64_t rotate(uint64_t x, int bits) { return x << bits | x >> (64 - bits); }

inline void sip_round(uint64_t v[4])
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

}  // namespace

// On a big-endian machine the hash is not the published one, and as good.
uint64_t events_hash(const uint64_t key[2], const char *name, size_t len)
{
    uint64_t v[4] = {0x736f6d6570736575 ^ key[0], 0x646f72616e646f6d ^ key[1],
                     0x6c7967656e657261 ^ key[0], 0x7465646279746573 ^ key[1]};
    uint64_t last = static_cast<uint64_t>(len) << 56;
    for (; len >= 8; name += 8, len -= 8) {
        uint64_t word = events_word(name, 8);
        v[3] ^= word;
        sip_round(v);
        v[0] ^= word;
    }
    last |= events_word(name, len);
    v[3] ^= last;
    sip_round(v);
    v[0] ^= last;
    v[2] ^= 0xff;
    for (int i = 0; i < 3; i++)
        sip_round(v);
    return v[0] ^ v[1] ^ v[2] ^ v[3];
}

namespace {

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

// Moves the `used` bytes at `old` (null for none) to room for at least
// `bytes`, and sets `bytes` to the room made; null, with old kept, when
// memory ran out.  Where the system has huge pages, room of a quarter of
// one or more is made of whole huge pages, and the system asked to use
// them: on some machines touching a small page the first time costs more
// than the work done in it, and the tables of a bulletin's events run to
// megabytes.
void *enlarge(void *old, size_t used, size_t &bytes)
{
#ifdef HAVE_MADV_HUGEPAGE
    constexpr size_t huge = 2 << 20;
    if (bytes >= huge / 4 && bytes <= SIZE_MAX - huge) {
        bytes = (bytes + huge - 1) / huge * huge;
        void *room = nullptr;
        if (posix_memalign(&room, huge, bytes) != 0)
            return nullptr;
        madvise(room, bytes, MADV_HUGEPAGE);  // a wish: without it all works the same
        if (used)
            memcpy(room, old, used);
        free(old);
        return room;
    }
#endif
    (void)used;
    return realloc(old, bytes);
}

// Makes room for `need` items at `items`, which has room for `room` and
// holds `used`: twice as much and a few more, but at most `most`.  (Room
// not yet used is not yet memory in use.)  False when that is not enough
// or memory ran out, with the items as they were.
bool make_room(auto *&items, size_t &room, size_t used, size_t need, size_t most)
{
    if (need <= room)
        return true;
    most = std::min(most, SIZE_MAX / sizeof *items);
    size_t more = std::min(most, need + room + 4);  // less than need if it wraps
    size_t bytes = more * sizeof *items;
    void *bigger = need <= more ? enlarge(items, used * sizeof *items, bytes) : nullptr;
    if (!bigger)
        return false;
    items = static_cast<std::remove_reference_t<decltype(items)>>(bigger);
    room = std::min(most, bytes / sizeof *items);
    return true;
}

// The slot where the search for a hash begins: the hash's fraction of the
// table, so that the table may have any size.
size_t first_slot(const Events &e, uint64_t hash) { return static_cast<size_t>((hash >> 32) * e.nslots >> 32); }

// The slot that holds the event of the name and hash, or the free one
// where it would go.  An event is looked at only when its slot holds the
// same part of the hash.
size_t slot(const Events &e, const char *name, size_t len, uint64_t hash)
{
    size_t at = first_slot(e, hash);
    for (; e.slots[at].event; at = at + 1 < e.nslots ? at + 1 : 0) {
        const Event &ev = e.list[e.slots[at].event - 1];
        if (e.slots[at].hash == static_cast<uint32_t>(hash) && ev.name_len == len &&
            memcmp(e.names + ev.name, name, len) == 0)
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
        size_t at = slot(e, e.names + ev.name, ev.name_len, ev.hash);
        e.slots[at] = {static_cast<uint32_t>(i + 1), static_cast<uint32_t>(ev.hash)};
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
    free(e.pieces);
    free(e.copy);
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
    if (!make_room(e.names, e.names_room, end, end + len, SIZE_MAX))
        return false;
    memcpy(e.names + end, piece, len);
    e.gathered += len;
    return true;
}

// Room is made first for one event more, and its name, which may be the
// one gathered (that name is then kept where it is).  The table is kept at
// most three quarters full, so that a name not held is found missing after
// a few slots.  A slot counts events in 32 bits: 2^32 - 1 events at most.
Event *events_find_in_table(Events &e, const char *name, Events::Recent words)
{
    size_t nslots = e.nslots, len = words.len;
    if (!make_room(e.list, e.list_room, e.count, e.count + 1, UINT32_MAX) ||
        !make_room(e.names, e.names_room, e.names_len, e.names_len + len, SIZE_MAX) ||
        !make_room(e.slots, e.nslots, 0, e.count + 1 + (e.count + 1) / 3, SIZE_MAX))
        return nullptr;
    if (e.nslots != nslots)
        fill_table(e);
    uint64_t hash = events_hash(e.key, name, len);
    size_t at = slot(e, name, len, hash);
    if (!e.slots[at].event) {
        memmove(e.names + e.names_len, name, len);
        e.list[e.count] = Event{e.names_len, len, hash, 0, 0, 0, 0};
        e.names_len += len;
        e.slots[at] = {static_cast<uint32_t>(++e.count), static_cast<uint32_t>(hash)};
    }
    words.event = e.slots[at].event - 1;
    e.recent[e.found++ % 8] = words;
    return &e.list[words.event];
}

// A piece holds the place of the next and 4 magnitudes more than the one
// before it.
bool events_add_piece(Events &e, Event &ev)
{
    size_t at = e.cells;
    if (!make_room(e.pieces, e.cells_room, at, at + 1 + ev.size + 4, UINT32_MAX))
        return false;
    e.pieces[at].next = 0;
    if (ev.n)
        e.pieces[ev.last].next = static_cast<uint32_t>(at);
    else
        ev.first = static_cast<uint32_t>(at);
    ev.last = static_cast<uint32_t>(at);
    ev.size += 4;
    e.cells = at + 1 + static_cast<size_t>(ev.size);
    return true;
}

bool events_ready(Events &e)
{
    size_t most = 0;
    for (size_t i = 0; i < e.count; i++)
        if (e.list[i].size > 4)
            most = std::max(most, static_cast<size_t>(e.list[i].n));
    return make_room(e.copy, e.copy_room, 0, most, SIZE_MAX);
}

float *events_magnitudes(Events &e, const Event &ev)
{
    if (ev.size <= 4)
        return ev.n ? &e.pieces[ev.first + 1].ml : nullptr;
    size_t n = 0;
    for (uint32_t at = ev.first, size = 4; n < static_cast<size_t>(ev.n); at = e.pieces[at].next, size += 4)
        for (uint32_t i = 1; i <= size && n < static_cast<size_t>(ev.n); i++)
            e.copy[n++] = e.pieces[at + i].ml;
    return e.copy;
}
