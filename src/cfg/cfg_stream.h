// Stream entries: one mount point fed from an intake to a server, in one
// stream format, optionally through an encoder. References to other entries
// are names only; whether those entries exist is checked elsewhere.
#pragma once

#include "cfg/cfg_list.h"
#include "cfg/cfg_value.h"

enum {
    CFG_STREAM_INVALID = 0,
    CFG_STREAM_OGG = 1,
    CFG_STREAM_MP3 = 2,
    CFG_STREAM_WEBM = 3,
    CFG_STREAM_MATROSKA = 4,
    CFG_STREAM_MIN = CFG_STREAM_OGG,
    CFG_STREAM_MAX = CFG_STREAM_MATROSKA,
};

// The formats as their names are written, with their codes.
inline constexpr cfg_code_name kCfgStreamFormats[] = {
    {"Ogg", CFG_STREAM_OGG},
    {"MP3", CFG_STREAM_MP3},
    {"WebM", CFG_STREAM_WEBM},
    {"Matroska", CFG_STREAM_MATROSKA},
};

struct cfg_stream;
using cfg_stream_list = cfg_named_head<cfg_stream> *;
using cfg_stream_list_fn = void (*)(cfg_stream *stream, void *arg);

// Case-insensitive; `name` must not be null. *fmt is untouched on failure.
int cfg_stream_format_from_name(const char *name, int *fmt);
// The name as written in the format table; null for codes outside 1 to 4.
const char *cfg_stream_format_name(int fmt);

cfg_stream_list cfg_stream_list_create();
void cfg_stream_list_destroy(cfg_stream_list *listp);
unsigned int cfg_stream_list_count(cfg_stream_list list);
cfg_stream *cfg_stream_list_find(cfg_stream_list list, const char *name);
// Calls fn for each entry in list order. fn must not unlink, free or add
// an entry of the list: the walk reads the next entry after fn returns.
void cfg_stream_list_foreach(cfg_stream_list list, cfg_stream_list_fn fn, void *arg);
cfg_stream *cfg_stream_list_get(cfg_stream_list list, const char *name);

cfg_stream *cfg_stream_create(const char *name);
void cfg_stream_destroy(cfg_stream **streamp);

int cfg_stream_set_name(cfg_stream *stream, cfg_stream_list list, const char *name,
                        const char **errstrp);
int cfg_stream_set_mountpoint(cfg_stream *stream, cfg_stream_list list, const char *mountpoint,
                              const char **errstrp);
int cfg_stream_set_intake(cfg_stream *stream, cfg_stream_list list, const char *intake,
                          const char **errstrp);
int cfg_stream_set_server(cfg_stream *stream, cfg_stream_list list, const char *server,
                          const char **errstrp);
int cfg_stream_set_public(cfg_stream *stream, cfg_stream_list list, const char *is_public,
                          const char **errstrp);
int cfg_stream_set_format(cfg_stream *stream, cfg_stream_list list, const char *format,
                          const char **errstrp);
// A null encoder turns re-encoding off; only the empty text is refused.
int cfg_stream_set_encoder(cfg_stream *stream, cfg_stream_list list, const char *encoder,
                           const char **errstrp);
int cfg_stream_set_stream_name(cfg_stream *stream, cfg_stream_list list, const char *text,
                               const char **errstrp);
int cfg_stream_set_stream_url(cfg_stream *stream, cfg_stream_list list, const char *text,
                              const char **errstrp);
int cfg_stream_set_stream_genre(cfg_stream *stream, cfg_stream_list list, const char *text,
                                const char **errstrp);
int cfg_stream_set_stream_description(cfg_stream *stream, cfg_stream_list list, const char *text,
                                      const char **errstrp);
int cfg_stream_set_stream_quality(cfg_stream *stream, cfg_stream_list list, const char *text,
                                  const char **errstrp);
int cfg_stream_set_stream_bitrate(cfg_stream *stream, cfg_stream_list list, const char *text,
                                  const char **errstrp);
int cfg_stream_set_stream_samplerate(cfg_stream *stream, cfg_stream_list list, const char *text,
                                     const char **errstrp);
int cfg_stream_set_stream_channels(cfg_stream *stream, cfg_stream_list list, const char *text,
                                   const char **errstrp);

int cfg_stream_validate(cfg_stream *stream, const char **errstrp);

const char *cfg_stream_get_name(cfg_stream *stream);
const char *cfg_stream_get_mountpoint(cfg_stream *stream);
const char *cfg_stream_get_intake(cfg_stream *stream);
const char *cfg_stream_get_server(cfg_stream *stream);
int cfg_stream_get_public(cfg_stream *stream);
int cfg_stream_get_format(cfg_stream *stream);
const char *cfg_stream_get_format_str(cfg_stream *stream);
const char *cfg_stream_get_encoder(cfg_stream *stream);
const char *cfg_stream_get_stream_name(cfg_stream *stream);
const char *cfg_stream_get_stream_url(cfg_stream *stream);
const char *cfg_stream_get_stream_genre(cfg_stream *stream);
const char *cfg_stream_get_stream_description(cfg_stream *stream);
const char *cfg_stream_get_stream_quality(cfg_stream *stream);
const char *cfg_stream_get_stream_bitrate(cfg_stream *stream);
const char *cfg_stream_get_stream_samplerate(cfg_stream *stream);
const char *cfg_stream_get_stream_channels(cfg_stream *stream);
