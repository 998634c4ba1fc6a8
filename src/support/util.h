// Small text and file utilities. Every text returned here is allocated
// through the checked allocation and belongs to the caller (xfree).
#pragma once

#include <cstddef>
#include <cstdio>

struct util_token_pair {
    const char *from;
    const char *to;
};

// The last path component of the name the process was started under; the
// argument is ignored (the platform recorded the name at start-up).
const char *util_program_name(const char *argv0);

char *util_convert_charset(const char *text, const char *from, const char *to);
char *util_locale_to_utf8(const char *text);
char *util_utf8_to_locale(const char *text);

int util_create_pid_file(const char *path);
void util_remove_pid_file(void);

// Flushes `out` and checks that everything written reached it: 0, or -1
// after reporting "NAME: reason", so that a full disk does not pass for a
// complete document.
int util_finish_output(FILE *out, const char *name);

int util_ends_with(const char *text, const char *suffix);
int util_ends_with_nocase(const char *text, const char *suffix);

char *util_replace_tokens(const char *text, const util_token_pair *pairs);
char *util_quote_for_shell(const char *text, size_t maxlen);
