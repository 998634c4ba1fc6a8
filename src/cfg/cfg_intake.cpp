#include "cfg/cfg_intake.h"

#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg_intake";

} // namespace

// Each field is declared with what it takes, and frees what it holds
// itself.
struct cfg_intake {
    cfg_named_link<cfg_intake> link;
    char *name;
    cfg_value::code<kCfgIntakeTypes, cfg_value::kUnsupported> type;
    cfg_value::bounded_text<kCfgIntakeFilenameMax> filename;
    cfg_value::flag shuffle;
    cfg_value::flag stream_once;
};

namespace {

using list_ops = cfg_list::named<cfg_intake, kAllocModule>;

} // namespace

cfg_intake_list cfg_intake_list_create()
{
    return list_ops::create();
}

void cfg_intake_list_destroy(cfg_intake_list *listp)
{
    list_ops::destroy(listp);
}

unsigned int cfg_intake_list_count(cfg_intake_list list)
{
    return list_ops::count(list);
}

cfg_intake *cfg_intake_list_find(cfg_intake_list list, const char *name)
{
    return list_ops::find(list, name);
}

void cfg_intake_list_foreach(cfg_intake_list list, cfg_intake_list_fn fn, void *arg)
{
    list_ops::for_each(list, fn, arg);
}

cfg_intake *cfg_intake_list_get(cfg_intake_list list, const char *name)
{
    return list_ops::get(list, name);
}

cfg_intake *cfg_intake_create(const char *name)
{
    return list_ops::create_entry(name);
}

void cfg_intake_destroy(cfg_intake **intakep)
{
    list_ops::destroy_entry(intakep);
}

int cfg_intake_set_name(cfg_intake *intake, cfg_intake_list list, const char *name,
                        const char **errstrp)
{
    return list_ops::set_name(intake, list, name, errstrp);
}

int cfg_intake_set_type(cfg_intake *intake, cfg_intake_list, const char *type, const char **errstrp)
{
    return intake->type.set(type, errstrp);
}

int cfg_intake_set_filename(cfg_intake *intake, cfg_intake_list, const char *filename,
                            const char **errstrp)
{
    return intake->filename.set(filename, errstrp, kAllocModule);
}

int cfg_intake_set_shuffle(cfg_intake *intake, cfg_intake_list, const char *shuffle,
                           const char **errstrp)
{
    return intake->shuffle.set(shuffle, errstrp);
}

int cfg_intake_set_stream_once(cfg_intake *intake, cfg_intake_list, const char *stream_once,
                               const char **errstrp)
{
    return intake->stream_once.set(stream_once, errstrp);
}

int cfg_intake_validate(cfg_intake *intake, const char **errstrp)
{
    if (!intake->filename.is_set() && intake->type != CFG_INTAKE_STDIN)
        return cfg_value::fail(errstrp, "intake filename missing");
    return 0;
}

const char *cfg_intake_get_name(cfg_intake *intake)
{
    return list_ops::get_name(intake);
}

int cfg_intake_get_type(cfg_intake *intake)
{
    return intake->type;
}

const char *cfg_intake_get_type_str(cfg_intake *intake)
{
    return cfg_value::code_name(kCfgIntakeTypes, intake->type, "autodetect");
}

const char *cfg_intake_get_filename(cfg_intake *intake)
{
    return intake->filename.get();
}

int cfg_intake_get_shuffle(cfg_intake *intake)
{
    return intake->shuffle;
}

int cfg_intake_get_stream_once(cfg_intake *intake)
{
    return intake->stream_once;
}
