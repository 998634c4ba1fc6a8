#include "cfg/cfg_decoder.h"

#include <strings.h>

#include "cfg/cfg_placeholder.h"
#include "cfg/cfg_value.h"
#include "support/log.h"

namespace {

constexpr const char kAllocModule[] = "cfg_decoder";

// The track placeholder is required once; "@s@" has no meaning for a
// decoder.
constexpr cfg_placeholder_rule kProgramRules[] = {
    {cfg_placeholder_rule::prohibited, "@s@", "prohibited placeholder @s@"},
    {cfg_placeholder_rule::at_most_once, "@T@", "duplicate placeholder @T@"},
    {cfg_placeholder_rule::at_most_once, "@M@", "duplicate placeholder @M@"},
    {cfg_placeholder_rule::at_most_once, "@a@", "duplicate placeholder @a@"},
    {cfg_placeholder_rule::at_most_once, "@t@", "duplicate placeholder @t@"},
    {cfg_placeholder_rule::required, "@T@", "missing placeholder @T@"},
};

struct file_ext {
    cfg_list_link<file_ext> link;
    char *ext;
};

file_ext *find_ext(cfg_list_head<file_ext> &exts, const char *ext)
{
    for (file_ext *e = exts.first; e != nullptr; e = e->link.next) {
        if (strcasecmp(e->ext, ext) == 0)
            return e;
    }
    return nullptr;
}

} // namespace

struct cfg_decoder {
    cfg_list_link<cfg_decoder> link;
    char *name;
    char *program;
    cfg_list_head<file_ext> file_exts;
};

namespace {

void release(cfg_decoder &decoder)
{
    cfg_value::clear_text(decoder.program, kAllocModule);
    while (file_ext *e = decoder.file_exts.first) {
        cfg_list::unlink(decoder.file_exts, e);
        XFREE(e->ext);
        XFREE(e);
    }
}

void prepare(cfg_decoder &decoder)
{
    cfg_list::init(decoder.file_exts);
}

using list_ops = cfg_list::named<cfg_decoder, kAllocModule, release, prepare>;

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
    if (list == nullptr)
        return nullptr;
    for (cfg_decoder *decoder = list->first; decoder != nullptr; decoder = decoder->link.next) {
        if (cfg_decoder_has_ext(decoder, ext))
            return decoder;
    }
    return nullptr;
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
    return cfg_value::set_text(decoder->program, program, errstrp, kAllocModule);
}

int cfg_decoder_add_ext(cfg_decoder *decoder, cfg_decoder_list list, const char *ext,
                        const char **errstrp)
{
    if (cfg_value::is_empty(ext))
        return cfg_value::fail(errstrp, "empty");
    if (!cfg_text_fits_document(ext))
        return cfg_value::fail(errstrp, "too long");

    file_ext *entry = nullptr;
    if (cfg_decoder *holder = cfg_decoder_list_find_by_ext(list, ext)) {
        log_notice("%s: relocating match from %s to %s", ext, holder->name, decoder->name);
        entry = find_ext(holder->file_exts, ext);
        cfg_list::unlink(holder->file_exts, entry);
    } else {
        entry = static_cast<file_ext *>(XCALLOC(1, sizeof(file_ext)));
        entry->ext = XSTRDUP(ext);
    }
    cfg_list::append(decoder->file_exts, entry);
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
    if (decoder->program == nullptr)
        return cfg_value::fail(errstrp, "program not set");
    if (decoder->file_exts.first == nullptr)
        return cfg_value::fail(errstrp, "no file extensions registered");
    if (const char *reason = cfg_placeholder_check(decoder->program, kProgramRules))
        return cfg_value::fail(errstrp, reason);
    return 0;
}

const char *cfg_decoder_get_name(cfg_decoder *decoder)
{
    return list_ops::get_name(decoder);
}

const char *cfg_decoder_get_program(cfg_decoder *decoder)
{
    return decoder->program;
}
