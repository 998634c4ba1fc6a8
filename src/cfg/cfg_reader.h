// Reading a version-1 document back into the active configuration, and the
// reload that keeps the previous configuration when a new one fails.
#pragma once

#include <cstddef>

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

// One entry element of a list section of a document.
struct cfg_document_entry {
    const char *section; // "servers", "streams", ... in small letters
    const char *entry;   // "server", "stream", ... in small letters
    long line;           // of the entry element
    // The text of its last "name" field ("" for an empty one), or null when
    // it has none and so fills the entry named "default".
    const char *name;
};
using cfg_document_entry_fn = void (*)(const cfg_document_entry *entry, void *arg);

// cfg_document_read, with the same messages and result; then, when the
// document parsed and its root element was accepted, `fn` is called for
// every entry element of the list sections in document order, whether or
// not the read refused something. The texts live until `fn` returns.
int cfg_document_read_entries(const char *path, cfg_document_entry_fn fn, void *arg);

// cfg_document_read_entries on the document read from the open descriptor
// `fd` to its end, or held in `size` bytes at `bytes`, and named `name` in
// every message. Neither checks a file mode: a caller that reads a file
// checks it on the same descriptor first (cfg_check_fd_mode).
int cfg_document_read_fd_entries(int fd, const char *name, cfg_document_entry_fn fn, void *arg);
int cfg_document_read_memory_entries(const char *bytes, size_t size, const char *name,
                                     cfg_document_entry_fn fn, void *arg);

// Reads the configured file into an emptied active configuration; on
// failure the previous configuration is active again. 0 or -1.
int cfg_reload_file();
