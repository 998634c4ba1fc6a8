// Intake entries: where the tracks of a stream come from.
#pragma once

#include <cstddef>

#include "cfg/cfg_list.h"
#include "cfg/cfg_value.h"

enum {
    CFG_INTAKE_AUTODETECT = 0,
    CFG_INTAKE_FILE = 1,
    CFG_INTAKE_PLAYLIST = 2,
    CFG_INTAKE_PROGRAM = 3,
    CFG_INTAKE_STDIN = 4,
};

// The types as their names are written, with their codes; the first is the
// one assumed while unset.
inline constexpr cfg_code_name kCfgIntakeTypes[] = {
    {"autodetect", CFG_INTAKE_AUTODETECT}, {"file", CFG_INTAKE_FILE},
    {"playlist", CFG_INTAKE_PLAYLIST},     {"program", CFG_INTAKE_PROGRAM},
    {"stdin", CFG_INTAKE_STDIN},
};

// The most bytes a file name takes; a longer one is refused, and its cut
// copy kept.
inline constexpr std::size_t kCfgIntakeFilenameMax = 1023;

struct cfg_intake;
using cfg_intake_list = cfg_named_head<cfg_intake> *;
using cfg_intake_list_fn = void (*)(cfg_intake *intake, void *arg);

cfg_intake_list cfg_intake_list_create();
void cfg_intake_list_destroy(cfg_intake_list *listp);
unsigned int cfg_intake_list_count(cfg_intake_list list);
cfg_intake *cfg_intake_list_find(cfg_intake_list list, const char *name);
// Calls fn for each entry in list order. fn must not unlink, free or add
// an entry of the list: the walk reads the next entry after fn returns.
void cfg_intake_list_foreach(cfg_intake_list list, cfg_intake_list_fn fn, void *arg);
cfg_intake *cfg_intake_list_get(cfg_intake_list list, const char *name);

cfg_intake *cfg_intake_create(const char *name);
void cfg_intake_destroy(cfg_intake **intakep);

int cfg_intake_set_name(cfg_intake *intake, cfg_intake_list list, const char *name,
                        const char **errstrp);
int cfg_intake_set_type(cfg_intake *intake, cfg_intake_list list, const char *type,
                        const char **errstrp);
int cfg_intake_set_filename(cfg_intake *intake, cfg_intake_list list, const char *filename,
                            const char **errstrp);
int cfg_intake_set_shuffle(cfg_intake *intake, cfg_intake_list list, const char *shuffle,
                           const char **errstrp);
int cfg_intake_set_stream_once(cfg_intake *intake, cfg_intake_list list, const char *stream_once,
                               const char **errstrp);

// Only a standard-input intake may go without a file name.
int cfg_intake_validate(cfg_intake *intake, const char **errstrp);

const char *cfg_intake_get_name(cfg_intake *intake);
int cfg_intake_get_type(cfg_intake *intake);
const char *cfg_intake_get_type_str(cfg_intake *intake);
const char *cfg_intake_get_filename(cfg_intake *intake);
int cfg_intake_get_shuffle(cfg_intake *intake);
int cfg_intake_get_stream_once(cfg_intake *intake);
