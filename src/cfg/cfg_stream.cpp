#include "cfg/cfg_stream.h"

#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg_stream";

constexpr cfg_code_name kFormats[] = {
    {"Ogg", CFG_STREAM_OGG},
    {"MP3", CFG_STREAM_MP3},
    {"WebM", CFG_STREAM_WEBM},
    {"Matroska", CFG_STREAM_MATROSKA},
};

} // namespace

struct cfg_stream {
    cfg_named_link<cfg_stream> link;
    char *name;
    char *mountpoint;
    char *intake;
    char *server;
    int is_public;
    int format;
    char *encoder;
    char *stream_name;
    char *stream_url;
    char *stream_genre;
    char *stream_description;
    char *stream_quality;
    char *stream_bitrate;
    char *stream_samplerate;
    char *stream_channels;
};

namespace {

void release(cfg_stream &stream)
{
    for (char **text : {&stream.mountpoint, &stream.intake, &stream.server, &stream.encoder,
                        &stream.stream_name, &stream.stream_url, &stream.stream_genre,
                        &stream.stream_description, &stream.stream_quality, &stream.stream_bitrate,
                        &stream.stream_samplerate, &stream.stream_channels})
        cfg_value::clear_text(*text, kAllocModule);
}

using list_ops = cfg_list::named<cfg_stream, kAllocModule, release>;

} // namespace

int cfg_stream_format_from_name(const char *name, int *fmt)
{
    const cfg_code_name *entry = cfg_value::find_name(kFormats, name);
    if (entry == nullptr)
        return -1;
    *fmt = entry->code;
    return 0;
}

const char *cfg_stream_format_name(int fmt)
{
    return cfg_value::code_name(kFormats, fmt, nullptr);
}

cfg_stream_list cfg_stream_list_create()
{
    return list_ops::create();
}

void cfg_stream_list_destroy(cfg_stream_list *listp)
{
    list_ops::destroy(listp);
}

unsigned int cfg_stream_list_count(cfg_stream_list list)
{
    return list_ops::count(list);
}

cfg_stream *cfg_stream_list_find(cfg_stream_list list, const char *name)
{
    return list_ops::find(list, name);
}

void cfg_stream_list_foreach(cfg_stream_list list, cfg_stream_list_fn fn, void *arg)
{
    list_ops::for_each(list, fn, arg);
}

cfg_stream *cfg_stream_list_get(cfg_stream_list list, const char *name)
{
    return list_ops::get(list, name);
}

cfg_stream *cfg_stream_create(const char *name)
{
    return list_ops::create_entry(name);
}

void cfg_stream_destroy(cfg_stream **streamp)
{
    list_ops::destroy_entry(streamp);
}

int cfg_stream_set_name(cfg_stream *stream, cfg_stream_list list, const char *name,
                        const char **errstrp)
{
    return list_ops::set_name(stream, list, name, errstrp);
}

int cfg_stream_set_mountpoint(cfg_stream *stream, cfg_stream_list, const char *mountpoint,
                              const char **errstrp)
{
    return cfg_value::set_text(stream->mountpoint, mountpoint, errstrp, kAllocModule);
}

int cfg_stream_set_intake(cfg_stream *stream, cfg_stream_list, const char *intake,
                          const char **errstrp)
{
    return cfg_value::set_text(stream->intake, intake, errstrp, kAllocModule);
}

int cfg_stream_set_server(cfg_stream *stream, cfg_stream_list, const char *server,
                          const char **errstrp)
{
    return cfg_value::set_text(stream->server, server, errstrp, kAllocModule);
}

int cfg_stream_set_public(cfg_stream *stream, cfg_stream_list, const char *is_public,
                          const char **errstrp)
{
    return cfg_value::set_boolean(stream->is_public, is_public, errstrp);
}

int cfg_stream_set_format(cfg_stream *stream, cfg_stream_list, const char *format,
                          const char **errstrp)
{
    return cfg_value::set_code(stream->format, format, kFormats, "unsupported stream format",
                               errstrp);
}

int cfg_stream_set_encoder(cfg_stream *stream, cfg_stream_list, const char *encoder,
                           const char **errstrp)
{
    if (encoder == nullptr) {
        cfg_value::clear_text(stream->encoder, kAllocModule);
        return 0;
    }
    return cfg_value::set_text(stream->encoder, encoder, errstrp, kAllocModule);
}

int cfg_stream_set_stream_name(cfg_stream *stream, cfg_stream_list, const char *text,
                               const char **errstrp)
{
    return cfg_value::set_text(stream->stream_name, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_url(cfg_stream *stream, cfg_stream_list, const char *text,
                              const char **errstrp)
{
    return cfg_value::set_text(stream->stream_url, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_genre(cfg_stream *stream, cfg_stream_list, const char *text,
                                const char **errstrp)
{
    return cfg_value::set_text(stream->stream_genre, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_description(cfg_stream *stream, cfg_stream_list, const char *text,
                                      const char **errstrp)
{
    return cfg_value::set_text(stream->stream_description, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_quality(cfg_stream *stream, cfg_stream_list, const char *text,
                                  const char **errstrp)
{
    return cfg_value::set_text(stream->stream_quality, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_bitrate(cfg_stream *stream, cfg_stream_list, const char *text,
                                  const char **errstrp)
{
    return cfg_value::set_text(stream->stream_bitrate, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_samplerate(cfg_stream *stream, cfg_stream_list, const char *text,
                                     const char **errstrp)
{
    return cfg_value::set_text(stream->stream_samplerate, text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_channels(cfg_stream *stream, cfg_stream_list, const char *text,
                                   const char **errstrp)
{
    return cfg_value::set_text(stream->stream_channels, text, errstrp, kAllocModule);
}

int cfg_stream_validate(cfg_stream *stream, const char **errstrp)
{
    if (stream->format == CFG_STREAM_INVALID)
        return cfg_value::fail(errstrp, "format missing or unsupported");
    return 0;
}

const char *cfg_stream_get_name(cfg_stream *stream)
{
    return list_ops::get_name(stream);
}

const char *cfg_stream_get_mountpoint(cfg_stream *stream)
{
    return stream->mountpoint;
}

const char *cfg_stream_get_intake(cfg_stream *stream)
{
    return stream->intake;
}

const char *cfg_stream_get_server(cfg_stream *stream)
{
    return stream->server;
}

int cfg_stream_get_public(cfg_stream *stream)
{
    return stream->is_public;
}

int cfg_stream_get_format(cfg_stream *stream)
{
    return stream->format;
}

const char *cfg_stream_get_format_str(cfg_stream *stream)
{
    return cfg_stream_format_name(stream->format);
}

const char *cfg_stream_get_encoder(cfg_stream *stream)
{
    return stream->encoder;
}

const char *cfg_stream_get_stream_name(cfg_stream *stream)
{
    return stream->stream_name;
}

const char *cfg_stream_get_stream_url(cfg_stream *stream)
{
    return stream->stream_url;
}

const char *cfg_stream_get_stream_genre(cfg_stream *stream)
{
    return stream->stream_genre;
}

const char *cfg_stream_get_stream_description(cfg_stream *stream)
{
    return stream->stream_description;
}

const char *cfg_stream_get_stream_quality(cfg_stream *stream)
{
    return stream->stream_quality;
}

const char *cfg_stream_get_stream_bitrate(cfg_stream *stream)
{
    return stream->stream_bitrate;
}

const char *cfg_stream_get_stream_samplerate(cfg_stream *stream)
{
    return stream->stream_samplerate;
}

const char *cfg_stream_get_stream_channels(cfg_stream *stream)
{
    return stream->stream_channels;
}
