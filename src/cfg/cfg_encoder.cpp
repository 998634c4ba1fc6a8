#include "cfg/cfg_encoder.h"

#include "cfg/cfg_placeholder.h"
#include "cfg/cfg_value.h"
#include "support/check.h"

namespace {

constexpr const char kAllocModule[] = "cfg_encoder";

} // namespace

// Each field is declared with what it takes, and frees what it holds
// itself. The format is set through a check of its own, which takes a
// code as well as a name.
struct cfg_encoder {
    cfg_named_link<cfg_encoder> link;
    char *name;
    int format;
    cfg_value::text program;
};

namespace {

using list_ops = cfg_list::named<cfg_encoder, kAllocModule>;

} // namespace

cfg_encoder_list cfg_encoder_list_create()
{
    return list_ops::create();
}

void cfg_encoder_list_destroy(cfg_encoder_list *listp)
{
    list_ops::destroy(listp);
}

unsigned int cfg_encoder_list_count(cfg_encoder_list list)
{
    return list_ops::count(list);
}

cfg_encoder *cfg_encoder_list_find(cfg_encoder_list list, const char *name)
{
    return list_ops::find(list, name);
}

void cfg_encoder_list_foreach(cfg_encoder_list list, cfg_encoder_list_fn fn, void *arg)
{
    list_ops::for_each(list, fn, arg);
}

cfg_encoder *cfg_encoder_list_get(cfg_encoder_list list, const char *name)
{
    return list_ops::get(list, name);
}

void cfg_encoder_list_remove(cfg_encoder_list list, cfg_encoder **encoderp)
{
    list_ops::remove(list, encoderp);
}

cfg_encoder *cfg_encoder_create(const char *name)
{
    return list_ops::create_entry(name);
}

void cfg_encoder_destroy(cfg_encoder **encoderp)
{
    list_ops::destroy_entry(encoderp);
}

int cfg_encoder_set_name(cfg_encoder *encoder, cfg_encoder_list list, const char *name,
                         const char **errstrp)
{
    return list_ops::set_name(encoder, list, name, errstrp);
}

int cfg_encoder_set_format(cfg_encoder *encoder, int fmt)
{
    // An out-of-range code would be written out as a format nobody can
    // read back; the check holds in release builds too.
    ONYX_CHECK(CFG_STREAM_MIN <= fmt && CFG_STREAM_MAX >= fmt);
    encoder->format = fmt;
    return 0;
}

int cfg_encoder_set_format_str(cfg_encoder *encoder, cfg_encoder_list, const char *name,
                               const char **errstrp)
{
    if (cfg_value::is_empty(name))
        return cfg_value::fail(errstrp, "empty");
    int fmt = CFG_STREAM_INVALID;
    if (cfg_stream_format_from_name(name, &fmt) != 0)
        return cfg_value::fail(errstrp, "unsupported stream format");
    return cfg_encoder_set_format(encoder, fmt);
}

int cfg_encoder_set_program(cfg_encoder *encoder, cfg_encoder_list, const char *program,
                            const char **errstrp)
{
    return encoder->program.set(program, errstrp, kAllocModule);
}

int cfg_encoder_validate(cfg_encoder *encoder, const char **errstrp)
{
    if (encoder->format == CFG_STREAM_INVALID)
        return cfg_value::fail(errstrp, "format not set");
    if (!encoder->program.is_set())
        return cfg_value::fail(errstrp, "program not set");
    if (const char *reason =
            cfg_placeholder_fault(encoder->program.get(), cfg_placeholder_encoder_rules))
        return cfg_value::fail(errstrp, reason);
    return 0;
}

const char *cfg_encoder_get_name(cfg_encoder *encoder)
{
    return list_ops::get_name(encoder);
}

int cfg_encoder_get_format(cfg_encoder *encoder)
{
    return encoder->format;
}

const char *cfg_encoder_get_program(cfg_encoder *encoder)
{
    return encoder->program.get();
}
