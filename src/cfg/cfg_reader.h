// Reading a version-1 document back into the active configuration, and the
// reload that keeps the previous configuration when a new one fails.
#pragma once

#include <cstddef>

struct cfg_file;
struct cfg_read_facts;

// 0 when the file may be used, -1 when it cannot be examined or others may
// write to it. Readable by others or by the group only gives a message.
int cfg_check_file_mode(const char *path);

// As cfg_check_file_mode, on the file open as `fd`, named `name` in the
// messages: the file examined is the one that will be read, whatever
// happens to its path meanwhile.
int cfg_check_fd_mode(int fd, const char *name);

// Adds what the document at `path` holds to the active configuration,
// reporting each refusal with file, line, entry and element (past the
// first hundred only counted, see log_input). 0 when
// everything was read and every entry validated, else -1; a failed read
// leaves whatever was set before the failure. The file is opened once, and
// its mode checked (cfg_check_file_mode) on what was opened.
int cfg_document_read(const char *path);

// cfg_document_read on the document read from `file` (see cfg_file_open)
// to its end, or held in `size` bytes at `bytes`, named `name` in every
// message, filling `facts` (which may be null) with what it finds. With
// facts the reader gives no notice of what it passes over: the facts say
// it instead. Neither judges a file mode: a caller that reads a file
// judges the mode `file` was found with first.
int cfg_document_read_file(const cfg_file &file, const char *name, cfg_read_facts *facts);
int cfg_document_read_memory(const char *bytes, size_t size, const char *name,
                             cfg_read_facts *facts);

// Reads the configured file into an emptied active configuration; on
// failure the previous configuration is active again. 0 or -1.
int cfg_reload_file();
