// The configuration store: two instances of the configuration (the active
// one, which every accessor here works on, and a saved one that a reload
// keeps the previous configuration in) and the program settings, which lie
// outside both and are never reset.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cfg/cfg_decoder.h"
#include "cfg/cfg_encoder.h"
#include "cfg/cfg_intake.h"
#include "cfg/cfg_server.h"
#include "cfg/cfg_stream.h"
#include "cfg/cfg_value.h"

enum {
    CFG_SOURCE_XML = 0,
};

// The refresh intervals the setter takes, in seconds; one below 0 is no
// interval.
inline constexpr long long kCfgMetadataRefreshIntervalMin = INT32_MIN;
inline constexpr long long kCfgMetadataRefreshIntervalMax = INT32_MAX;

// The most bytes the metadata program takes; a longer one is refused, and
// its cut copy kept.
inline constexpr std::size_t kCfgMetadataProgramMax = 1023;

// Each setting is declared with what it takes, and frees what it holds
// itself.
struct cfg_metadata {
    char program[kCfgMetadataProgramMax + 1];
    cfg_value::text format_str;
    cfg_value::number<int32_t, kCfgMetadataRefreshIntervalMin, kCfgMetadataRefreshIntervalMax>
        refresh_interval{-1}; // below 0: not set
    cfg_value::flag normalize_strings;
    cfg_value::flag no_updates;
};

// Owns its lists (created on first access); the metadata owns its texts.
struct cfg_config {
    cfg_decoder_list decoders;
    cfg_encoder_list encoders;
    cfg_intake_list intakes;
    cfg_server_list servers;
    cfg_stream_list streams;
    cfg_metadata metadata;
};

struct cfg_program {
    char name[1024];
    int config_type;
    char config_file[1024];
    char second_path[1024];
    int first_flag;
    int second_flag;
    int number;
};

// Reset both instances; cfg_exit does the same work at the end of a run.
int cfg_init();
int cfg_exit();
// Releases everything `config` holds and leaves it in the reset state.
void cfg_clear(cfg_config *config);

cfg_config *cfg_active();
cfg_config *cfg_saved();
// Swaps the whole contents of the two instances, list ownership included.
void cfg_exchange();

cfg_decoder_list cfg_get_decoders();
cfg_encoder_list cfg_get_encoders();
cfg_intake_list cfg_get_intakes();
cfg_server_list cfg_get_servers();
cfg_stream_list cfg_get_streams();

int cfg_set_metadata_program(const char *program, const char **errstrp);
int cfg_set_metadata_format_str(const char *format_str, const char **errstrp);
int cfg_set_metadata_refresh_interval(const char *refresh_interval, const char **errstrp);
int cfg_set_metadata_normalize_strings(const char *normalize_strings, const char **errstrp);
int cfg_set_metadata_no_updates(const char *no_updates, const char **errstrp);

const char *cfg_get_metadata_program();
const char *cfg_get_metadata_format_str();
int cfg_get_metadata_refresh_interval();
int cfg_get_metadata_normalize_strings();
int cfg_get_metadata_no_updates();

int cfg_set_program_name(const char *name, const char **errstrp);
int cfg_set_program_config_type(int type, const char **errstrp);
int cfg_set_program_config_file(const char *config_file, const char **errstrp);
int cfg_set_program_second_path(const char *second_path, const char **errstrp);
int cfg_set_program_first_flag(int flag);
int cfg_set_program_second_flag(int flag);
int cfg_set_program_number(int number);

const char *cfg_get_program_name();
int cfg_get_program_config_type();
const char *cfg_get_program_config_file();
const char *cfg_get_program_second_path();
int cfg_get_program_first_flag();
int cfg_get_program_second_flag();
int cfg_get_program_number();
