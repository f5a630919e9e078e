// The events of a bulletin, for "pelmor -n": each held once under its name,
// in the order of its first reading, with the station magnitudes of its
// readings.
#pragma once

#include <cstddef>
#include <cstdint>

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
    size_t last;  // the event found last
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

// The event of that name, new when it has none yet; null when memory ran
// out.  The name may be the one gathered, or its start; either way the
// gathering begins anew.
Event *events_find(Events &e, const char *name, size_t len);

// Files a station magnitude under the event.  False when memory ran out,
// or the event holds as many as an int counts.
bool events_file(Events &e, Event &ev, float ml);

// Makes room to copy the magnitudes of the event with the most of those
// that lie in several pieces, once all are filed.  False when memory ran out.
bool events_ready(Events &e);

// The station magnitudes of the event, one after another: where they lie,
// or a copy.
float *events_magnitudes(Events &e, const Event &ev);
