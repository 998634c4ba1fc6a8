// Placeholder rules of version-0 command templates. Each check reports
// every rule the text breaks ("%s[%ld]: Error: ...\n") and returns how many
// it reported, for the reader's error count.
#pragma once

int legacy_check_decoder_command(const char *command, const char *path, long line);
int legacy_check_encoder_command(const char *command, const char *path, long line);
int legacy_check_metadata_format(const char *format, const char *path, long line);
