// Ordered lists of uniquely named entries, shared by the five entry kinds of
// the configuration model. A list is a tail queue: the head knows its first
// entry and the link at which the next entry is to be appended, and every
// entry knows the link that points at it, so append and unlink take
// constant time without a special case for the first entry.
//
// Names are looked up without regard to letter case. A list that grows past
// a handful of entries also gets an index by folded name, kept in step with
// every append, unlink and rename, so that reading a document of many
// entries stays linear; short lists, the usual case, are walked as before
// and pay nothing for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <source_location>
#include <string>
#include <string_view>
#include <strings.h>

#include "cfg/cfg_document.h"
#include "support/alloc.h"

template <typename Entry> struct cfg_list_link {
    Entry *next;
    Entry **prev; // the link that points at this entry
};

template <typename Entry> struct cfg_list_head {
    Entry *first;
    Entry **last; // &first while empty, else the last entry's link.next
};

namespace cfg_list {

// The primitives need only the link's `next` and `prev` members, so an
// entry kind may also keep lists of its own (the decoder's file extensions).
template <typename Entry> void init(cfg_list_head<Entry> &head)
{
    head.first = nullptr;
    head.last = &head.first;
}

template <typename Entry> void append(cfg_list_head<Entry> &head, Entry *entry)
{
    entry->link.next = nullptr;
    entry->link.prev = head.last;
    *head.last = entry;
    head.last = &entry->link.next;
}

template <typename Entry> void unlink(cfg_list_head<Entry> &head, Entry *entry)
{
    if (entry->link.next != nullptr)
        entry->link.next->link.prev = entry->link.prev;
    else
        head.last = entry->link.prev;
    *entry->link.prev = entry->link.next;
}

// strcasecmp's fold in the C locale, which is the one the programs keep for
// LC_CTYPE (the character set conversion borrows the user's locale only for
// its own call): only A to Z have another case, and every byte above 127
// stands for itself.
constexpr unsigned char fold(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// A whole name folded byte by byte: two names the lists take for one fold
// to the same text.
inline std::string fold_name(std::string_view name)
{
    std::string folded(name);
    for (char &c : folded)
        c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    return folded;
}

// A hash of the folded text, so texts that strcasecmp finds equal hash
// alike. Its key is drawn once per process: names picked to share a bucket
// would otherwise turn every lookup back into a walk.
uint64_t fold_hash(const char *text);

template <typename Node> struct index_slot {
    Node *chain;   // the next node of the same bucket
    uint64_t hash; // fold_hash of the node's key, kept for growing
};

// A hash table threaded through its nodes. `Key` tells where a node keeps
// its slot (`static index_slot<Node> &slot(Node &)`) and its key
// (`static const char *key(const Node &)`); a node's key may change while
// the node is in the table only as far as its fold_hash stays the same (a
// change of letter case), for a node is found again by its stored hash.
// All zero is an empty table that has
// not been built; it grows at one node per bucket.
template <typename Node, typename Key> struct hash_index {
    Node **buckets;
    size_t mask; // the number of buckets less one
    size_t size;

    bool built() const { return buckets != nullptr; }

    void insert(Node *node, const char *module, std::source_location at)
    {
        insert(node, fold_hash(Key::key(*node)), module, at);
    }

    // `hash` is fold_hash of the node's key, when the caller has it already.
    void insert(Node *node, uint64_t hash, const char *module, std::source_location at)
    {
        if (buckets == nullptr || size > mask)
            grow(module, at);
        Key::slot(*node).hash = hash;
        link_in(node);
        size++;
    }

    void erase(Node *node)
    {
        const index_slot<Node> &slot = Key::slot(*node);
        Node **at = &buckets[slot.hash & mask];
        while (*at != node)
            at = &Key::slot(**at).chain;
        *at = slot.chain;
        size--;
    }

    // Of the nodes whose key strcasecmp finds equal to `key`, the one that
    // `before` puts first, or null. Equal keys are possible (a rename
    // checked against another list, say), and the lists answer with the
    // earliest of them, as a walk from the start would.
    template <typename Before> Node *first(const char *key, Before before) const
    {
        return first(key, fold_hash(key), before);
    }

    template <typename Before> Node *first(const char *key, uint64_t hash, Before before) const
    {
        Node *best = nullptr;
        for (Node *node = buckets[hash & mask]; node != nullptr; node = Key::slot(*node).chain) {
            if (Key::slot(*node).hash == hash && strcasecmp(Key::key(*node), key) == 0 &&
                (best == nullptr || before(*node, *best)))
                best = node;
        }
        return best;
    }

    void release(const char *module)
    {
        xfree(buckets, module);
        buckets = nullptr;
        mask = 0;
        size = 0;
    }

    void link_in(Node *node)
    {
        index_slot<Node> &slot = Key::slot(*node);
        Node *&bucket = buckets[slot.hash & mask];
        slot.chain = bucket;
        bucket = node;
    }

    void grow(const char *module, std::source_location at)
    {
        Node **old = buckets;
        const size_t old_count = old != nullptr ? mask + 1 : 0;
        const size_t count = old != nullptr ? old_count * 2 : 16;
        buckets = static_cast<Node **>(xcalloc(count, sizeof(Node *), module, at));
        mask = count - 1;
        for (size_t i = 0; i < old_count; i++) {
            for (Node *node = old[i], *next; node != nullptr; node = next) {
                next = Key::slot(*node).chain;
                link_in(node);
            }
        }
        xfree(old, module);
    }
};

// A list gets its index when it reaches this many entries. Below it a walk
// costs no more than hashing the name, and the typical file stays there.
constexpr unsigned int kIndexFrom = 16;

} // namespace cfg_list

template <typename Entry> struct cfg_named_head;

// The link of an entry of a named list: besides its place in the list it
// knows the list, so that a rename can move the entry within the list's
// index whichever list the name was checked against.
template <typename Entry> struct cfg_named_link {
    Entry *next;
    Entry **prev;
    cfg_named_head<Entry> *owner; // null while the entry is in no list
    uint64_t order;               // grows with every append to the owner
    cfg_list::index_slot<Entry> slot;
};

namespace cfg_list {

template <typename Entry> struct by_name {
    static index_slot<Entry> &slot(Entry &entry) { return entry.link.slot; }
    static const char *key(const Entry &entry) { return entry.name; }
};

} // namespace cfg_list

template <typename Entry> struct cfg_named_head : cfg_list_head<Entry> {
    unsigned int size;
    uint64_t appended; // the order the next entry gets
    cfg_list::hash_index<Entry, cfg_list::by_name<Entry>> names;
};

namespace cfg_list {

// What a kind that indexes more than names adds to the list: its own head
// type, and hooks for an entry that joins or leaves the list and for the
// list's end.
template <typename Entry> struct no_registry {
    using head = cfg_named_head<Entry>;
    static void joined(head &, Entry &, std::source_location) {}
    static void leaving(head &, Entry &) {}
    static void dispose(head &) {}
};

// The operations every entry kind offers under its own names. `Module` tags
// the allocations; `Registry` is the kind's own index, if any. An entry is
// made value-initialised, and its fields free what they hold when it is
// destroyed: no kind keeps a list of them to release by hand. Allocating
// operations take the caller's source location so that an out-of-memory
// alert names the module's line, not this header's.
template <typename Entry, const char *Module, typename Registry = no_registry<Entry>> struct named {
    using head = typename Registry::head;
    using visit_fn = void (*)(Entry *, void *);

    static head *create(std::source_location at = std::source_location::current())
    {
        auto *list = static_cast<head *>(xcalloc(1, sizeof(head), Module, at));
        init(*list);
        return list;
    }

    static void destroy(head **listp)
    {
        if (listp == nullptr || *listp == nullptr)
            return;
        head *list = *listp;
        Registry::dispose(*list);
        list->names.release(Module);
        for (Entry *entry = list->first, *next; entry != nullptr; entry = next) {
            next = entry->link.next;
            destroy_entry(&entry);
        }
        xfree(list, Module);
        *listp = nullptr;
    }

    static unsigned int count(const head *list) { return list != nullptr ? list->size : 0; }

    static Entry *find(const head *list, const char *name)
    {
        if (list == nullptr || name == nullptr || name[0] == '\0')
            return nullptr;
        uint64_t hash = 0;
        return find(*list, name, hash);
    }

    static void for_each(const head *list, visit_fn fn, void *arg)
    {
        if (list == nullptr)
            return;
        for (Entry *entry = list->first, *next; entry != nullptr; entry = next) {
            fn(entry, arg);
            next = entry->link.next;
        }
    }

    static Entry *get(head *list, const char *name,
                      std::source_location at = std::source_location::current())
    {
        if (list == nullptr || name == nullptr || name[0] == '\0')
            return nullptr;
        // The name is hashed once, for the lookup and for the new entry.
        uint64_t hash = 0;
        if (Entry *found = find(*list, name, hash))
            return found;
        Entry *entry = create_entry(name, at);
        join(*list, entry, hash, at);
        return entry;
    }

    static Entry *create_entry(const char *name,
                               std::source_location at = std::source_location::current())
    {
        if (name == nullptr || name[0] == '\0')
            return nullptr;
        void *block = xmalloc(sizeof(Entry) + kNameRoom, Module, at);
        Entry *entry = ::new (block) Entry();
        entry->name = copy_name(entry, name, at);
        return entry;
    }

    static void destroy_entry(Entry **entryp)
    {
        if (entryp == nullptr || *entryp == nullptr)
            return;
        Entry *entry = *entryp;
        free_name(entry);
        std::destroy_at(entry);
        xfree(entry, Module);
        *entryp = nullptr;
    }

    static void remove(head *list, Entry **entryp)
    {
        if (list == nullptr || entryp == nullptr || *entryp == nullptr)
            return;
        leave(*list, *entryp);
        destroy_entry(entryp);
    }

    static int set_name(Entry *entry, const head *list, const char *name, const char **errstrp,
                        std::source_location at = std::source_location::current())
    {
        const char *reason = nullptr;
        uint64_t hash = 0;
        if (name == nullptr || name[0] == '\0') {
            reason = "empty";
        } else if (!cfg_text_fits_document(name)) {
            reason = "too long";
        } else if (list != nullptr) {
            Entry *holder = find(*list, name, hash);
            if (holder != nullptr && holder != entry)
                reason = "already exists";
        }
        if (reason != nullptr) {
            if (errstrp != nullptr)
                *errstrp = reason;
            return -1;
        }
        // A reader names each entry it gets by the name it got it by.
        if (std::strcmp(entry->name, name) == 0)
            return 0;
        // Copy before freeing: `name` may lie within the entry's own name.
        const char *old = entry->name;
        char *copy = copy_name(entry, name, at);
        cfg_named_head<Entry> *owner = entry->link.owner;
        if (owner != nullptr && owner->names.built()) {
            // The lookup above hashed the name when it used this index.
            if (owner != list)
                hash = fold_hash(name);
            // A change of letter case only keeps the entry's bucket.
            if (hash != entry->link.slot.hash) {
                owner->names.erase(entry);
                owner->names.insert(entry, hash, Module, at);
            }
        }
        if (old != name_room(entry))
            xfree(const_cast<char *>(old), Module);
        entry->name = copy;
        return 0;
    }

    static const char *get_name(const Entry *entry) { return entry->name; }

  private:
    // A name of up to this many bytes, its end included, is kept in the
    // entry's own block: one allocation less for each entry of a document,
    // and the reader's rename of every entry it gets from the default name
    // to its own reuses the room.
    static constexpr std::size_t kNameRoom = 24;

    static char *name_room(Entry *entry) { return reinterpret_cast<char *>(entry + 1); }

    // A longer name has a block of its own. `name` may lie in the room.
    static char *copy_name(Entry *entry, const char *name, std::source_location at)
    {
        const std::size_t size = std::strlen(name) + 1;
        if (size > kNameRoom)
            return xstrdup(name, Module, at);
        return static_cast<char *>(std::memmove(name_room(entry), name, size));
    }

    static void free_name(Entry *entry)
    {
        if (entry->name != name_room(entry))
            xfree(entry->name, Module);
    }

    // The lookup behind find and get; `hash` gets fold_hash of `name` when
    // the list is indexed, and is left alone otherwise.
    static Entry *find(const head &list, const char *name, uint64_t &hash)
    {
        if (list.names.built()) {
            hash = fold_hash(name);
            return list.names.first(name, hash, [](const Entry &a, const Entry &b) {
                return a.link.order < b.link.order;
            });
        }
        for (Entry *entry = list.first; entry != nullptr; entry = entry->link.next) {
            if (strcasecmp(entry->name, name) == 0)
                return entry;
        }
        return nullptr;
    }

    // `hash` is the one find gave for the entry's name if the list was
    // indexed then.
    static void join(head &list, Entry *entry, uint64_t hash, std::source_location at)
    {
        append(list, entry);
        entry->link.owner = &list;
        entry->link.order = list.appended++;
        list.size++;
        if (list.names.built()) {
            list.names.insert(entry, hash, Module, at);
        } else if (list.size >= kIndexFrom) {
            for (Entry *e = list.first; e != nullptr; e = e->link.next)
                list.names.insert(e, Module, at);
        }
        Registry::joined(list, *entry, at);
    }

    static void leave(head &list, Entry *entry)
    {
        Registry::leaving(list, *entry);
        if (list.names.built())
            list.names.erase(entry);
        unlink(list, entry);
        entry->link.owner = nullptr;
        list.size--;
    }
};

} // namespace cfg_list
