// Decoder entries: a command that decodes tracks, and the file extensions it
// is used for. Within one list an extension belongs to one decoder at most;
// registering it with another decoder moves it there.
#pragma once

#include "cfg/cfg_list.h"

struct cfg_decoder;
struct cfg_decoder_list_head; // a named list that also indexes the extensions
using cfg_decoder_list = cfg_decoder_list_head *;
using cfg_decoder_list_fn = void (*)(cfg_decoder *decoder, void *arg);
using cfg_decoder_ext_fn = void (*)(const char *ext, void *arg);

cfg_decoder_list cfg_decoder_list_create();
void cfg_decoder_list_destroy(cfg_decoder_list *listp);
unsigned int cfg_decoder_list_count(cfg_decoder_list list);
cfg_decoder *cfg_decoder_list_find(cfg_decoder_list list, const char *name);
// Calls fn for each entry in list order. fn must not unlink, free or add
// an entry of the list: the walk reads the next entry after fn returns.
void cfg_decoder_list_foreach(cfg_decoder_list list, cfg_decoder_list_fn fn, void *arg);
cfg_decoder *cfg_decoder_list_get(cfg_decoder_list list, const char *name);
// Unlinks and destroys the entry; *decoderp becomes null.
void cfg_decoder_list_remove(cfg_decoder_list list, cfg_decoder **decoderp);
cfg_decoder *cfg_decoder_list_find_by_ext(cfg_decoder_list list, const char *ext);

cfg_decoder *cfg_decoder_create(const char *name);
void cfg_decoder_destroy(cfg_decoder **decoderp);

int cfg_decoder_set_name(cfg_decoder *decoder, cfg_decoder_list list, const char *name,
                         const char **errstrp);
int cfg_decoder_set_program(cfg_decoder *decoder, cfg_decoder_list list, const char *program,
                            const char **errstrp);
// Takes the extension over from whichever decoder of `list` holds it (this
// one included), with a notice; the moved entry keeps its letter case.
int cfg_decoder_add_ext(cfg_decoder *decoder, cfg_decoder_list list, const char *ext,
                        const char **errstrp);
int cfg_decoder_has_ext(cfg_decoder *decoder, const char *ext);
// `fn` must not change the decoder's extensions.
void cfg_decoder_foreach_ext(cfg_decoder *decoder, cfg_decoder_ext_fn fn, void *arg);

int cfg_decoder_validate(cfg_decoder *decoder, const char **errstrp);

const char *cfg_decoder_get_name(cfg_decoder *decoder);
const char *cfg_decoder_get_program(cfg_decoder *decoder);
