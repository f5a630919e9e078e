// The events of a bulletin, for "pelmor -n": each held once under its name,
// in the order of its first reading, with the station magnitudes of its
// readings.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct Event {
    size_t name, name_len;  // where its name lies in Events::names
    uint64_t hash;          // of its name
    uint32_t first, last;   // its first and its last piece in Events::pieces
    int n;                  // station magnitudes
    int size;               // the room of its last piece
};

// The station magnitudes of all events lie in pieces, each the place of the
// next piece of its event (0 for none) and then its magnitudes; an event's
// pieces grow by 4 each, so that there are few and little room is left
// over.  Up to 2^32 cells.
union Cell {
    uint32_t next;
    float ml;
};

struct Events {
    char *names;       // every name once, one after another, and then the
    size_t names_len;  // one being gathered, of `gathered` characters
    size_t names_room;
    size_t gathered;
    Event *list;  // in the order of their first readings
    size_t count, list_room;
    // The events found last, tried before the table, as the readings of an
    // event mostly come close together: each by the first eight bytes of
    // its name, the next eight of a name over 16 and the last eight of one
    // over 8 (0 for those it lacks), its length and its place in list.
    // Each found in the table takes the place of the oldest.
    struct Recent {
        uint64_t head, middle, tail;
        size_t len;
        uint32_t event;
    } recent[8];
    size_t found;  // in the table, so far: recent holds the last eight
    struct Slot {                // the table that finds an event by its name:
        uint32_t event, hash;  // its place in list plus 1 (0 is free), and
    } *slots;                  // a part of its hash, not the part that
    size_t nslots;             // gives the slot
    Cell *pieces;
    size_t cells, cells_room;
    float *copy;  // room for the magnitudes of an event of several pieces
    size_t copy_room;
    uint64_t key[2];
};

// SipHash-1-3 of a name under the key.
uint64_t events_hash(const uint64_t key[2], const char *name, size_t len);

// An empty set, with a key of its own for the hash of names.
void events_open(Events &e);
void events_close(Events &e);

// Gathers a piece of the name being read, when it is read in pieces; the
// name gathered so far begins at events_gathered(e).  False when memory ran out.
bool events_gather(Events &e, const char *piece, size_t len);
inline const char *events_gathered(const Events &e) { return e.names + e.names_len; }

// Up to eight bytes as a number, in the machine's byte order.
inline uint64_t events_word(const char *p, size_t len)
{
    uint64_t word = 0;
    memcpy(&word, p, len);
    return word;
}

// The words of a name as Events::Recent holds them.  A short name is
// taken a byte at a time: a copy of a length not known beforehand would
// cost a call.
inline Events::Recent events_words(const char *name, size_t len)
{
    uint64_t head = 0;
    if (len >= 8)
        head = events_word(name, 8);
    else
        for (size_t i = 0; i < len; i++)
            head |= uint64_t{static_cast<unsigned char>(name[i])} << 8 * i;
    return {head, len > 16 ? events_word(name + 8, 8) : 0, len > 8 ? events_word(name + len - 8, 8) : 0, len, 0};
}

// The event of the name in the table, new when it has none yet, made
// the most recent; null when memory ran out.
Event *events_find_in_table(Events &e, const char *name, Events::Recent words);

// The event of that name, new when it has none yet; null when memory ran
// out.  The name may be the one gathered, or its start; either way the
// gathering begins anew.  A recent event is tried first: a name of up to
// 24 bytes lies whole in its words.
inline Event *events_find(Events &e, const char *name, size_t len)
{
    e.gathered = 0;
    Events::Recent words = events_words(name, len);
    for (size_t i = 0, held = e.found < 8 ? e.found : 8; i < held; i++) {
        const Events::Recent &r = e.recent[i];
        if (r.tail == words.tail && r.head == words.head && r.middle == words.middle && r.len == len &&
            (len <= 24 || memcmp(e.names + e.list[r.event].name + 16, name + 16, len - 24) == 0))
            return &e.list[r.event];
    }
    return events_find_in_table(e, name, words);
}

// Starts the next piece of the event's magnitudes.  False when memory ran out.
bool events_add_piece(Events &e, Event &ev);

// Files a station magnitude under the event.  False when memory ran out,
// or the event holds as many as an int counts.  The room of the event's
// pieces so far is size * (size + 4) / 8, of which its last holds size.
inline bool events_file(Events &e, Event &ev, float ml)
{
    if (ev.n == INT_MAX)
        return false;
    size_t size = static_cast<size_t>(ev.size), used = static_cast<size_t>(ev.n) - (size * (size + 4) / 8 - size);
    if (used == size) {
        if (!events_add_piece(e, ev))
            return false;
        used = 0;
    }
    e.pieces[ev.last + 1 + used].ml = ml;
    ev.n++;
    return true;
}

// Makes room to copy the magnitudes of the event with the most of those
// that lie in several pieces, once all are filed.  False when memory ran out.
bool events_ready(Events &e);

// The station magnitudes of the event, one after another: where they lie,
// or a copy.
float *events_magnitudes(Events &e, const Event &ev);
