#include "events.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

static void sip_round(uint64_t v[4])
{
    v[0] += v[1];
    v[1] = std::rotl(v[1], 13) ^ v[0];
    v[0] = std::rotl(v[0], 32);
    v[2] += v[3];
    v[3] = std::rotl(v[3], 16) ^ v[2];
    v[0] += v[3];
    v[3] = std::rotl(v[3], 21) ^ v[0];
    v[2] += v[1];
    v[1] = std::rotl(v[1], 17) ^ v[2];
    v[2] = std::rotl(v[2], 32);
}

// Words are taken in the machine's byte order: on a big-endian machine the
// hash is not the published one, and as good.
uint64_t events_hash(const uint64_t key[2], const char *name, size_t len)
{
    uint64_t v[4] = {0x736f6d6570736575 ^ key[0], 0x646f72616e646f6d ^ key[1],
                     0x6c7967656e657261 ^ key[0], 0x7465646279746573 ^ key[1]};
    uint64_t word, last = static_cast<uint64_t>(len) << 56, tail = 0;
    for (; len >= 8; name += 8, len -= 8) {
        memcpy(&word, name, 8);
        v[3] ^= word;
        sip_round(v);
        v[0] ^= word;
    }
    memcpy(&tail, name, len);
    last |= tail;
    v[3] ^= last;
    sip_round(v);
    v[0] ^= last;
    v[2] ^= 0xff;
    for (int i = 0; i < 3; i++)
        sip_round(v);
    return v[0] ^ v[1] ^ v[2] ^ v[3];
}

// Makes room for `need` items, twice as much as before at the least.
// False when memory ran out, with the items as they were.
template <typename T>
static bool make_room(T *&items, size_t &room, size_t need)
{
    if (need <= room)
        return true;
    size_t more = std::max({need, 2 * room, size_t{16}});
    void *bigger = more <= SIZE_MAX / sizeof(T) ? realloc(items, more * sizeof(T)) : nullptr;
    if (!bigger)
        return false;
    items = static_cast<T *>(bigger);
    room = more;
    return true;
}

// Where the search for a check begins: its fraction of the table, whose
// size is a power of two, so that the search wraps round by a mask.
static size_t first_slot(uint32_t check, size_t nslots) { return static_cast<size_t>(uint64_t{check} * nslots >> 32); }

// The table, twice as large, takes each event anew.
static bool grow_table(Events &e)
{
    size_t nslots = std::max(size_t{16}, 2 * e.nslots);
    auto *slots = static_cast<Events::Slot *>(calloc(nslots, sizeof *e.slots));
    if (!slots)
        return false;
    for (size_t i = 0; i < e.nslots; i++) {
        if (!e.slots[i].event)
            continue;
        size_t at = first_slot(e.slots[i].check, nslots);
        while (slots[at].event)
            at = (at + 1) & (nslots - 1);
        slots[at] = e.slots[i];
    }
    free(e.slots);
    e.slots = slots;
    e.nslots = nslots;
    return true;
}

// The key: 128 random bits from the system.  Should it have none to give,
// the clock and where the system put this call's stack, which it
// randomises, stand in.
void events_open(Events &e)
{
    e = Events{};
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || read(fd, e.key, sizeof e.key) != static_cast<ssize_t>(sizeof e.key))
        e.key[0] = e.key[1] = 0;
    if (fd >= 0)
        close(fd);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    e.key[0] ^= static_cast<uint64_t>(now.tv_nsec) ^ reinterpret_cast<uintptr_t>(&now);
    e.key[1] ^= static_cast<uint64_t>(now.tv_sec) ^ static_cast<uint64_t>(getpid());
}

void events_close(Events &e)
{
    free(e.names);
    free(e.list);
    free(e.slots);
    free(e.filed);
    free(e.grouped);
    e = Events{};
}

// The table is kept at most three quarters full, so that a name not held
// is found missing after a few slots.  A slot counts events in 32 bits.
static bool find(Events &e, const char *name, size_t len, uint32_t &event)
{
    if (4 * (e.count + 1) > 3 * e.nslots && !grow_table(e))
        return false;
    auto check = static_cast<uint32_t>(events_hash(e.key, name, len) >> 32);
    size_t at = first_slot(check, e.nslots);
    for (; e.slots[at].event; at = (at + 1) & (e.nslots - 1)) {
        event = e.slots[at].event - 1;
        if (e.slots[at].check == check && e.list[event].name_len == len && memcmp(e.names + e.list[event].name, name, len) == 0)
            return true;
    }
    if (e.count == UINT32_MAX || !make_room(e.list, e.list_room, e.count + 1) ||
        !make_room(e.names, e.names_room, e.names_len + len))
        return false;
    memcpy(e.names + e.names_len, name, len);
    e.list[e.count] = Event{e.names_len, 0, static_cast<uint32_t>(len), 0};
    e.names_len += len;
    event = static_cast<uint32_t>(e.count++);
    e.slots[at] = {event + 1, check};
    return true;
}

bool events_file(Events &e, const char *name, size_t len, const float *ml)
{
    uint32_t event;
    if (!find(e, name, len, event))
        return false;
    if (!ml)
        return true;
    if (e.list[event].n == INT_MAX || !make_room(e.filed, e.filed_room, e.nfiled + 1) ||
        !make_room(e.grouped, e.grouped_room, e.nfiled + 1))
        return false;
    e.list[event].n++;
    e.filed[e.nfiled++] = {event, *ml};
    return true;
}

// A counting sort: each event's place is set past its magnitudes, which
// follow those of the events before it, and moved back as they are placed.
void events_group(Events &e)
{
    for (size_t i = 0, at = 0; i < e.count; i++)
        e.list[i].first = at += static_cast<size_t>(e.list[i].n);
    for (size_t i = e.nfiled; i-- > 0;)
        e.grouped[--e.list[e.filed[i].event].first] = e.filed[i].ml;
}
