#include "cfg/cfg.h"

#include <cstdint>
#include <utility>

#include "cfg/cfg_placeholder.h"
#include "cfg/cfg_value.h"

namespace {

constexpr const char kAllocModule[] = "cfg";

const char *check_format_str(const char *format_str)
{
    return cfg_placeholder_fault(format_str, cfg_placeholder_format_rules);
}

cfg_config active_config;
cfg_config saved_config;
cfg_program program;

cfg_metadata &metadata()
{
    return active_config.metadata;
}

template <typename List, typename Create> List lazily(List &list, Create create)
{
    if (list == nullptr)
        list = create();
    return list;
}

} // namespace

int cfg_init()
{
    cfg_clear(&active_config);
    cfg_clear(&saved_config);
    return 0;
}

int cfg_exit()
{
    return cfg_init();
}

void cfg_clear(cfg_config *config)
{
    cfg_stream_list_destroy(&config->streams);
    cfg_server_list_destroy(&config->servers);
    cfg_intake_list_destroy(&config->intakes);
    cfg_encoder_list_destroy(&config->encoders);
    cfg_decoder_list_destroy(&config->decoders);
    *config = cfg_config{};
}

cfg_config *cfg_active()
{
    return &active_config;
}

cfg_config *cfg_saved()
{
    return &saved_config;
}

void cfg_exchange()
{
    std::swap(active_config, saved_config);
}

cfg_decoder_list cfg_get_decoders()
{
    return lazily(active_config.decoders, cfg_decoder_list_create);
}

cfg_encoder_list cfg_get_encoders()
{
    return lazily(active_config.encoders, cfg_encoder_list_create);
}

cfg_intake_list cfg_get_intakes()
{
    return lazily(active_config.intakes, cfg_intake_list_create);
}

cfg_server_list cfg_get_servers()
{
    return lazily(active_config.servers, cfg_server_list_create);
}

cfg_stream_list cfg_get_streams()
{
    return lazily(active_config.streams, cfg_stream_list_create);
}

int cfg_set_metadata_program(const char *program_text, const char **errstrp)
{
    return cfg_value::set_buffer(metadata().program, program_text, errstrp);
}

int cfg_set_metadata_format_str(const char *format_str, const char **errstrp)
{
    return metadata().format_str.set(format_str, errstrp, kAllocModule, check_format_str);
}

int cfg_set_metadata_refresh_interval(const char *refresh_interval, const char **errstrp)
{
    return metadata().refresh_interval.set(refresh_interval, errstrp);
}

int cfg_set_metadata_normalize_strings(const char *normalize_strings, const char **errstrp)
{
    return metadata().normalize_strings.set(normalize_strings, errstrp);
}

int cfg_set_metadata_no_updates(const char *no_updates, const char **errstrp)
{
    return metadata().no_updates.set(no_updates, errstrp);
}

const char *cfg_get_metadata_program()
{
    return cfg_value::get_buffer(metadata().program);
}

const char *cfg_get_metadata_format_str()
{
    return metadata().format_str.get();
}

int cfg_get_metadata_refresh_interval()
{
    return metadata().refresh_interval;
}

int cfg_get_metadata_normalize_strings()
{
    return metadata().normalize_strings;
}

int cfg_get_metadata_no_updates()
{
    return metadata().no_updates;
}

int cfg_set_program_name(const char *name, const char **errstrp)
{
    return cfg_value::set_buffer(program.name, name, errstrp);
}

int cfg_set_program_config_type(int type, const char **errstrp)
{
    if (type != CFG_SOURCE_XML)
        return cfg_value::fail(errstrp, "invalid");
    program.config_type = type;
    return 0;
}

int cfg_set_program_config_file(const char *config_file, const char **errstrp)
{
    return cfg_value::set_buffer(program.config_file, config_file, errstrp);
}

int cfg_set_program_second_path(const char *second_path, const char **errstrp)
{
    return cfg_value::set_buffer(program.second_path, second_path, errstrp);
}

int cfg_set_program_first_flag(int flag)
{
    program.first_flag = flag != 0;
    return 0;
}

int cfg_set_program_second_flag(int flag)
{
    program.second_flag = flag != 0;
    return 0;
}

int cfg_set_program_number(int number)
{
    program.number = number;
    return 0;
}

const char *cfg_get_program_name()
{
    return cfg_value::get_buffer(program.name);
}

int cfg_get_program_config_type()
{
    return program.config_type;
}

const char *cfg_get_program_config_file()
{
    return cfg_value::get_buffer(program.config_file);
}

const char *cfg_get_program_second_path()
{
    return cfg_value::get_buffer(program.second_path);
}

int cfg_get_program_first_flag()
{
    return program.first_flag;
}

int cfg_get_program_second_flag()
{
    return program.second_flag;
}

int cfg_get_program_number()
{
    return program.number;
}
