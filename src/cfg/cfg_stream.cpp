#include "cfg/cfg_stream.h"

#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg_stream";
constexpr char kUnsupportedFormat[] = "unsupported stream format";

} // namespace

// Each field is declared with what it takes, and frees what it holds
// itself. The texts have no bound of their own but the document's.
struct cfg_stream {
    cfg_named_link<cfg_stream> link;
    char *name;
    cfg_value::text mountpoint;
    cfg_value::text intake;
    cfg_value::text server;
    cfg_value::flag is_public;
    cfg_value::code<kCfgStreamFormats, kUnsupportedFormat> format;
    cfg_value::text encoder;
    cfg_value::text stream_name;
    cfg_value::text stream_url;
    cfg_value::text stream_genre;
    cfg_value::text stream_description;
    cfg_value::text stream_quality;
    cfg_value::text stream_bitrate;
    cfg_value::text stream_samplerate;
    cfg_value::text stream_channels;
};

namespace {

using list_ops = cfg_list::named<cfg_stream, kAllocModule>;

} // namespace

int cfg_stream_format_from_name(const char *name, int *fmt)
{
    const cfg_code_name *entry = cfg_value::find_name(kCfgStreamFormats, name);
    if (entry == nullptr)
        return -1;
    *fmt = entry->code;
    return 0;
}

const char *cfg_stream_format_name(int fmt)
{
    return cfg_value::code_name(kCfgStreamFormats, fmt, nullptr);
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
    return stream->mountpoint.set(mountpoint, errstrp, kAllocModule);
}

int cfg_stream_set_intake(cfg_stream *stream, cfg_stream_list, const char *intake,
                          const char **errstrp)
{
    return stream->intake.set(intake, errstrp, kAllocModule);
}

int cfg_stream_set_server(cfg_stream *stream, cfg_stream_list, const char *server,
                          const char **errstrp)
{
    return stream->server.set(server, errstrp, kAllocModule);
}

int cfg_stream_set_public(cfg_stream *stream, cfg_stream_list, const char *is_public,
                          const char **errstrp)
{
    return stream->is_public.set(is_public, errstrp);
}

int cfg_stream_set_format(cfg_stream *stream, cfg_stream_list, const char *format,
                          const char **errstrp)
{
    return stream->format.set(format, errstrp);
}

int cfg_stream_set_encoder(cfg_stream *stream, cfg_stream_list, const char *encoder,
                           const char **errstrp)
{
    if (encoder == nullptr) {
        stream->encoder.clear();
        return 0;
    }
    return stream->encoder.set(encoder, errstrp, kAllocModule);
}

int cfg_stream_set_stream_name(cfg_stream *stream, cfg_stream_list, const char *text,
                               const char **errstrp)
{
    return stream->stream_name.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_url(cfg_stream *stream, cfg_stream_list, const char *text,
                              const char **errstrp)
{
    return stream->stream_url.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_genre(cfg_stream *stream, cfg_stream_list, const char *text,
                                const char **errstrp)
{
    return stream->stream_genre.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_description(cfg_stream *stream, cfg_stream_list, const char *text,
                                      const char **errstrp)
{
    return stream->stream_description.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_quality(cfg_stream *stream, cfg_stream_list, const char *text,
                                  const char **errstrp)
{
    return stream->stream_quality.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_bitrate(cfg_stream *stream, cfg_stream_list, const char *text,
                                  const char **errstrp)
{
    return stream->stream_bitrate.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_samplerate(cfg_stream *stream, cfg_stream_list, const char *text,
                                     const char **errstrp)
{
    return stream->stream_samplerate.set(text, errstrp, kAllocModule);
}

int cfg_stream_set_stream_channels(cfg_stream *stream, cfg_stream_list, const char *text,
                                   const char **errstrp)
{
    return stream->stream_channels.set(text, errstrp, kAllocModule);
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
    return stream->mountpoint.get();
}

const char *cfg_stream_get_intake(cfg_stream *stream)
{
    return stream->intake.get();
}

const char *cfg_stream_get_server(cfg_stream *stream)
{
    return stream->server.get();
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
    return stream->encoder.get();
}

const char *cfg_stream_get_stream_name(cfg_stream *stream)
{
    return stream->stream_name.get();
}

const char *cfg_stream_get_stream_url(cfg_stream *stream)
{
    return stream->stream_url.get();
}

const char *cfg_stream_get_stream_genre(cfg_stream *stream)
{
    return stream->stream_genre.get();
}

const char *cfg_stream_get_stream_description(cfg_stream *stream)
{
    return stream->stream_description.get();
}

const char *cfg_stream_get_stream_quality(cfg_stream *stream)
{
    return stream->stream_quality.get();
}

const char *cfg_stream_get_stream_bitrate(cfg_stream *stream)
{
    return stream->stream_bitrate.get();
}

const char *cfg_stream_get_stream_samplerate(cfg_stream *stream)
{
    return stream->stream_samplerate.get();
}

const char *cfg_stream_get_stream_channels(cfg_stream *stream)
{
    return stream->stream_channels.get();
}
