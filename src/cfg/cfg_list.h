// Ordered lists of uniquely named entries, shared by the five entry kinds of
// the configuration model. A list is a tail queue: the head knows its first
// entry and the link at which the next entry is to be appended, and every
// entry knows the link that points at it, so append and unlink take
// constant time without a special case for the first entry.
#pragma once

#include <source_location>
#include <strings.h>

#include "cfg/cfg_text_limit.h"
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

// The primitives need only the `link` member, so an entry kind may also keep
// lists of its own (the decoder's file extensions).
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

// The operations every entry kind offers under its own names. `Module` tags
// the allocations; `Release` frees what the kind owns besides its name;
// `Prepare`, when given, sets up a new zero-filled entry before use.
// Allocating operations take the caller's source location so that an
// out-of-memory alert names the module's line, not this header's.
template <typename Entry, const char *Module, void (*Release)(Entry &),
          void (*Prepare)(Entry &) = nullptr>
struct named {
    using head = cfg_list_head<Entry>;
    using visit_fn = void (*)(Entry *, void *);

    static head *create(std::source_location at = std::source_location::current())
    {
        auto *list = static_cast<head *>(xcalloc(1, sizeof(head), Module, at.line()));
        init(*list);
        return list;
    }

    static void destroy(head **listp)
    {
        if (listp == nullptr || *listp == nullptr)
            return;
        head *list = *listp;
        while (Entry *entry = list->first) {
            unlink(*list, entry);
            destroy_entry(&entry);
        }
        xfree(list, Module, 0);
        *listp = nullptr;
    }

    static unsigned int count(const head *list)
    {
        unsigned int n = 0;
        for (const Entry *entry = list != nullptr ? list->first : nullptr; entry != nullptr;
             entry = entry->link.next)
            n++;
        return n;
    }

    static Entry *find(const head *list, const char *name)
    {
        if (list == nullptr || name == nullptr || name[0] == '\0')
            return nullptr;
        for (Entry *entry = list->first; entry != nullptr; entry = entry->link.next) {
            if (strcasecmp(entry->name, name) == 0)
                return entry;
        }
        return nullptr;
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
        if (Entry *found = find(list, name))
            return found;
        if (list == nullptr)
            return nullptr;
        Entry *entry = create_entry(name, at);
        if (entry != nullptr)
            append(*list, entry);
        return entry;
    }

    static Entry *create_entry(const char *name,
                               std::source_location at = std::source_location::current())
    {
        if (name == nullptr || name[0] == '\0')
            return nullptr;
        auto *entry = static_cast<Entry *>(xcalloc(1, sizeof(Entry), Module, at.line()));
        entry->name = xstrdup(name, Module, at.line());
        if constexpr (Prepare != nullptr)
            Prepare(*entry);
        return entry;
    }

    static void destroy_entry(Entry **entryp)
    {
        if (entryp == nullptr || *entryp == nullptr)
            return;
        Entry *entry = *entryp;
        Release(*entry);
        xfree(entry->name, Module, 0);
        xfree(entry, Module, 0);
        *entryp = nullptr;
    }

    static void remove(head *list, Entry **entryp)
    {
        if (list == nullptr || entryp == nullptr || *entryp == nullptr)
            return;
        unlink(*list, *entryp);
        destroy_entry(entryp);
    }

    static int set_name(Entry *entry, const head *list, const char *name, const char **errstrp,
                        std::source_location at = std::source_location::current())
    {
        const char *reason = nullptr;
        if (name == nullptr || name[0] == '\0')
            reason = "empty";
        else if (!cfg_text_fits_document(name))
            reason = "too long";
        else if (Entry *holder = find(list, name); holder != nullptr && holder != entry)
            reason = "already exists";
        if (reason != nullptr) {
            if (errstrp != nullptr)
                *errstrp = reason;
            return -1;
        }
        // Copy before freeing: `name` may be the entry's own name.
        char *copy = xstrdup(name, Module, at.line());
        xfree(entry->name, Module, 0);
        entry->name = copy;
        return 0;
    }

    static const char *get_name(const Entry *entry) { return entry->name; }
};

} // namespace cfg_list
