#include "cfg/cfg_decoder.h"

#include <strings.h>

#include "cfg/cfg_placeholder.h"
#include "cfg/cfg_value.h"
#include "support/log.h"

namespace {

constexpr const char kAllocModule[] = "cfg_decoder";

// An extension knows its decoder, so that a lookup in the list's index
// finds the holder without walking the decoders.
struct file_ext {
    cfg_list_link<file_ext> link;
    char *ext;
    cfg_decoder *decoder; // the one holding it
    uint64_t order;       // grows with every extension that decoder takes
    cfg_list::index_slot<file_ext> slot;
};

struct by_ext {
    static cfg_list::index_slot<file_ext> &slot(file_ext &e) { return e.slot; }
    static const char *key(const file_ext &e) { return e.ext; }
};

file_ext *find_ext(cfg_list_head<file_ext> &exts, const char *ext)
{
    for (file_ext *e = exts.first; e != nullptr; e = e->link.next) {
        if (strcasecmp(e->ext, ext) == 0)
            return e;
    }
    return nullptr;
}

// The extensions a decoder holds, in the order it took them, freed with it.
// The head points into itself, so it stays where it was made.
struct ext_list : cfg_list_head<file_ext> {
    ext_list() { cfg_list::init<file_ext>(*this); }
    ext_list(const ext_list &) = delete;
    ext_list &operator=(const ext_list &) = delete;
    ~ext_list()
    {
        for (file_ext *e = first, *next; e != nullptr; e = next) {
            next = e->link.next;
            xfree(e->ext, kAllocModule);
            xfree(e, kAllocModule);
        }
    }
};

} // namespace

// Each field is declared with what it takes, and frees what it holds
// itself.
struct cfg_decoder {
    cfg_named_link<cfg_decoder> link;
    char *name;
    cfg_value::text program;
    // The placeholder rule the program breaks, judged once when it is set:
    // a decoder that gives up an extension is checked again, which must
    // not cost a pass over a program of megabytes each time.
    const char *program_fault;
    ext_list file_exts;
    uint64_t ext_orders; // the order the next extension gets
};

// The extensions of every decoder in the list are indexed too, once there
// are enough of them to make walking the decoders cost more than hashing.
struct cfg_decoder_list_head : cfg_named_head<cfg_decoder> {
    cfg_list::hash_index<file_ext, by_ext> exts;
    size_t ext_count; // extensions held by the list's decoders
};

namespace {

cfg_decoder_list_head *owner_of(const cfg_decoder &decoder)
{
    return static_cast<cfg_decoder_list_head *>(decoder.link.owner);
}

// The order a walk over the decoders, and over each one's extensions, meets
// them in.
bool ext_before(const file_ext &a, const file_ext &b)
{
    if (a.decoder != b.decoder)
        return a.decoder->link.order < b.decoder->link.order;
    return a.order < b.order;
}

// Called once `ext_count` counts the extensions just added, which are
// already in their decoders' lists.
void index_if_due(cfg_decoder_list_head &list, std::source_location at)
{
    if (list.exts.built() || list.ext_count < cfg_list::kIndexFrom)
        return;
    for (cfg_decoder *d = list.first; d != nullptr; d = d->link.next) {
        for (file_ext *e = d->file_exts.first; e != nullptr; e = e->link.next)
            list.exts.insert(e, kAllocModule, at);
    }
}

void index_ext(cfg_decoder_list_head &list, file_ext *e, std::source_location at)
{
    list.ext_count++;
    if (list.exts.built())
        list.exts.insert(e, kAllocModule, at);
    else
        index_if_due(list, at);
}

void unindex_ext(cfg_decoder_list_head &list, file_ext *e)
{
    if (list.exts.built())
        list.exts.erase(e);
    list.ext_count--;
}

void attach_ext(cfg_decoder &decoder, file_ext *e, std::source_location at)
{
    cfg_list::append(decoder.file_exts, e);
    e->decoder = &decoder;
    e->order = decoder.ext_orders++;
    if (cfg_decoder_list_head *owner = owner_of(decoder))
        index_ext(*owner, e, at);
}

void detach_ext(cfg_decoder &decoder, file_ext *e)
{
    if (cfg_decoder_list_head *owner = owner_of(decoder))
        unindex_ext(*owner, e);
    cfg_list::unlink(decoder.file_exts, e);
}

struct ext_registry {
    using head = cfg_decoder_list_head;

    static void joined(head &list, cfg_decoder &decoder, std::source_location at)
    {
        if (!list.exts.built()) {
            for (file_ext *e = decoder.file_exts.first; e != nullptr; e = e->link.next)
                list.ext_count++;
            index_if_due(list, at);
            return;
        }
        for (file_ext *e = decoder.file_exts.first; e != nullptr; e = e->link.next)
            index_ext(list, e, at);
    }

    static void leaving(head &list, cfg_decoder &decoder)
    {
        for (file_ext *e = decoder.file_exts.first; e != nullptr; e = e->link.next)
            unindex_ext(list, e);
    }

    static void dispose(head &list) { list.exts.release(kAllocModule); }
};

// The first extension, in the order of a walk over the list's decoders,
// that matches `ext`.
file_ext *held_ext(cfg_decoder_list list, const char *ext)
{
    if (list == nullptr || cfg_value::is_empty(ext))
        return nullptr;
    if (list->exts.built())
        return list->exts.first(ext, ext_before);
    for (cfg_decoder *decoder = list->first; decoder != nullptr; decoder = decoder->link.next) {
        if (file_ext *e = find_ext(decoder->file_exts, ext))
            return e;
    }
    return nullptr;
}

using list_ops = cfg_list::named<cfg_decoder, kAllocModule, ext_registry>;

} // namespace

cfg_decoder_list cfg_decoder_list_create()
{
    return list_ops::create();
}

void cfg_decoder_list_destroy(cfg_decoder_list *listp)
{
    list_ops::destroy(listp);
}

unsigned int cfg_decoder_list_count(cfg_decoder_list list)
{
    return list_ops::count(list);
}

cfg_decoder *cfg_decoder_list_find(cfg_decoder_list list, const char *name)
{
    return list_ops::find(list, name);
}

void cfg_decoder_list_foreach(cfg_decoder_list list, cfg_decoder_list_fn fn, void *arg)
{
    list_ops::for_each(list, fn, arg);
}

cfg_decoder *cfg_decoder_list_get(cfg_decoder_list list, const char *name)
{
    return list_ops::get(list, name);
}

void cfg_decoder_list_remove(cfg_decoder_list list, cfg_decoder **decoderp)
{
    list_ops::remove(list, decoderp);
}

cfg_decoder *cfg_decoder_list_find_by_ext(cfg_decoder_list list, const char *ext)
{
    const file_ext *e = held_ext(list, ext);
    return e != nullptr ? e->decoder : nullptr;
}

cfg_decoder *cfg_decoder_create(const char *name)
{
    return list_ops::create_entry(name);
}

void cfg_decoder_destroy(cfg_decoder **decoderp)
{
    list_ops::destroy_entry(decoderp);
}

int cfg_decoder_set_name(cfg_decoder *decoder, cfg_decoder_list list, const char *name,
                         const char **errstrp)
{
    return list_ops::set_name(decoder, list, name, errstrp);
}

int cfg_decoder_set_program(cfg_decoder *decoder, cfg_decoder_list, const char *program,
                            const char **errstrp)
{
    if (decoder->program.set(program, errstrp, kAllocModule) != 0)
        return -1;
    decoder->program_fault =
        cfg_placeholder_fault(decoder->program.get(), cfg_placeholder_decoder_rules);
    return 0;
}

int cfg_decoder_add_ext(cfg_decoder *decoder, cfg_decoder_list list, const char *ext,
                        const char **errstrp)
{
    if (cfg_value::is_empty(ext))
        return cfg_value::fail(errstrp, "empty");
    if (!cfg_text_fits_document(ext))
        return cfg_value::fail(errstrp, "too long");

    file_ext *entry = held_ext(list, ext);
    if (entry != nullptr) {
        cfg_decoder *holder = entry->decoder;
        log_notice("%s: relocating match from %s to %s", ext, holder->name, decoder->name);
        detach_ext(*holder, entry);
    } else {
        entry = static_cast<file_ext *>(xcalloc(1, sizeof(file_ext), kAllocModule));
        entry->ext = xstrdup(ext, kAllocModule);
    }
    attach_ext(*decoder, entry, std::source_location::current());
    return 0;
}

int cfg_decoder_has_ext(cfg_decoder *decoder, const char *ext)
{
    if (cfg_value::is_empty(ext))
        return 0;
    return find_ext(decoder->file_exts, ext) != nullptr ? 1 : 0;
}

void cfg_decoder_foreach_ext(cfg_decoder *decoder, cfg_decoder_ext_fn fn, void *arg)
{
    for (file_ext *e = decoder->file_exts.first; e != nullptr; e = e->link.next)
        fn(e->ext, arg);
}

int cfg_decoder_validate(cfg_decoder *decoder, const char **errstrp)
{
    if (!decoder->program.is_set())
        return cfg_value::fail(errstrp, "program not set");
    if (decoder->file_exts.first == nullptr)
        return cfg_value::fail(errstrp, "no file extensions registered");
    if (decoder->program_fault != nullptr)
        return cfg_value::fail(errstrp, decoder->program_fault);
    return 0;
}

const char *cfg_decoder_get_name(cfg_decoder *decoder)
{
    return list_ops::get_name(decoder);
}

const char *cfg_decoder_get_program(cfg_decoder *decoder)
{
    return decoder->program.get();
}
