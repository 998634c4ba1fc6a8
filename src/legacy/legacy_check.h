// Placeholder checks of version-0 templates, by the rule sets of the model's
// templates (cfg/cfg_placeholder.h). Each check reports every rule the text
// breaks ("%s[%ld]: Error: ...\n", with the path of `messages`) among the
// messages about the file, and returns how many rules it broke, for the
// reader's error count.
#pragma once

#include "support/log_input.h"

int legacy_check_decoder_command(const char *command, log_input *messages, long line);
int legacy_check_encoder_command(const char *command, log_input *messages, long line);
int legacy_check_metadata_format(const char *format, log_input *messages, long line);
