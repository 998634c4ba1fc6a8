// Where a parse reads from: a local file through a descriptor of our own, a
// descriptor looked at before it is read, or bytes in memory read as a
// file's would be; and the message for an input that cannot be read.
#pragma once

#include <cstddef>
#include <sys/types.h>

// "PATH: reason" for `errnum`, with the given line end ("\n" or "").
void xml_report_unreadable(const char *path, int errnum, const char *line_end);

// False, after its message, for a descriptor that cannot be examined or
// that is a directory.
bool xml_prepare_fd(int fd, const char *name, const char *line_end);

// As xml_prepare_fd, for a descriptor its caller examined already, whose
// fstat gave `mode`: one look at a file is enough.
bool xml_prepare_mode(mode_t mode, const char *name, const char *line_end);

// The local file `path` open for reading, or -1 after its message. Reading
// through our own descriptor keeps the library from treating the name as a
// URL or a compressed file, and lets us say plainly why a file cannot be
// read.
int xml_open_local_file(const char *path, const char *line_end);

// Bytes in memory handed to the parser as a file's are: an empty input
// then gets the library's "Document is empty", as an empty file does.
struct xml_memory_input {
    const char *bytes;
    size_t left;
};
// The parser's read callback over an xml_memory_input.
int xml_read_memory(void *context, char *buffer, int len);
