// Encoder entries: a command that produces stream data in one stream format,
// named by streams that re-encode their tracks.
#pragma once

#include "cfg/cfg_list.h"
#include "cfg/cfg_stream.h"

struct cfg_encoder;
using cfg_encoder_list = cfg_named_head<cfg_encoder> *;
using cfg_encoder_list_fn = void (*)(cfg_encoder *encoder, void *arg);

cfg_encoder_list cfg_encoder_list_create();
void cfg_encoder_list_destroy(cfg_encoder_list *listp);
unsigned int cfg_encoder_list_count(cfg_encoder_list list);
cfg_encoder *cfg_encoder_list_find(cfg_encoder_list list, const char *name);
// Calls fn for each entry in list order. fn must not unlink, free or add
// an entry of the list: the walk reads the next entry after fn returns.
void cfg_encoder_list_foreach(cfg_encoder_list list, cfg_encoder_list_fn fn, void *arg);
cfg_encoder *cfg_encoder_list_get(cfg_encoder_list list, const char *name);
// Unlinks and destroys the entry; *encoderp becomes null.
void cfg_encoder_list_remove(cfg_encoder_list list, cfg_encoder **encoderp);

cfg_encoder *cfg_encoder_create(const char *name);
void cfg_encoder_destroy(cfg_encoder **encoderp);

int cfg_encoder_set_name(cfg_encoder *encoder, cfg_encoder_list list, const char *name,
                         const char **errstrp);
// `fmt` must lie within CFG_STREAM_MIN..CFG_STREAM_MAX; anything else is a
// programming error and aborts the process.
int cfg_encoder_set_format(cfg_encoder *encoder, int fmt);
int cfg_encoder_set_format_str(cfg_encoder *encoder, cfg_encoder_list list, const char *name,
                               const char **errstrp);
int cfg_encoder_set_program(cfg_encoder *encoder, cfg_encoder_list list, const char *program,
                            const char **errstrp);

int cfg_encoder_validate(cfg_encoder *encoder, const char **errstrp);

const char *cfg_encoder_get_name(cfg_encoder *encoder);
int cfg_encoder_get_format(cfg_encoder *encoder);
const char *cfg_encoder_get_program(cfg_encoder *encoder);
