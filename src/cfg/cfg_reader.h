// Reading a version-1 document back into the active configuration, and the
// reload that keeps the previous configuration when a new one fails.
#pragma once

#include <cstddef>

struct cfg_file;

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

// What a reader passes over: the client reads only the elements it knows,
// in the places it knows them, and takes nothing but text from a setting
// or an entity. A checker turns each into a problem of its own.
enum class cfg_passed_over_kind {
    // An element of a name the client does not know in that place.
    unknown_element,
    // An element inside a setting, whose text alone the client reads.
    element_in_text,
    // An entity reference that brings elements in, or that the client
    // never expands (an external entity) where the document's elements
    // stand.
    entity_markup,
};

struct cfg_document_passed_over {
    cfg_passed_over_kind kind;
    long line;           // of the element, or of the entity reference
    const char *element; // its name as written; for entity_markup the first
                         // element the entity brings in, or null
    const char *parent;  // the element it stands in, as written
    const char *entity;  // the entity's name, for entity_markup only
};

// A setting the model refused, right after the reader's message about it;
// or a document that does not parse because of a '&' that opens no entity
// reference (kind stray_ampersand, with only the line).
enum class cfg_refusal_kind { setting, stray_ampersand };

struct cfg_document_refusal {
    cfg_refusal_kind kind;
    long line;                     // of the setting's element, or of the parser's stop
    const char *section = nullptr; // "servers", ..., "metadata"
    const char *entry = nullptr;   // "server", ...; null in the metadata section
    long entry_line = 0;           // of the entry element; 0 in the metadata section
    const char *field = nullptr;   // the setting's element, as the field tables name it
    const char *value = nullptr;   // the refused text; null for an element without text
    const char *reason = nullptr;  // the model's reason
};

// The root element, once it was accepted and before anything in it is read.
struct cfg_document_root {
    long line;
    unsigned int sections; // elements at the root that name a section
};

// What a caller learns while a document is read. Every callback may be
// null; the texts live until it returns.
struct cfg_document_observer {
    void (*root)(const cfg_document_root *root, void *arg) = nullptr;
    // Every entry element of the list sections in document order, whether
    // or not the read refuses something, after `root` and before the read.
    cfg_document_entry_fn entry = nullptr;
    // In place of the reader's notice, and also for what the reader passes
    // over without one (elements in a setting, elements from entities).
    void (*passed_over)(const cfg_document_passed_over *what, void *arg) = nullptr;
    void (*refused)(const cfg_document_refusal *what, void *arg) = nullptr;
    void *arg = nullptr;
};

// cfg_document_read, with the same messages and result, telling `observer`
// (which may be null) what it reads and passes over.
int cfg_document_read_observed(const char *path, const cfg_document_observer *observer);

// cfg_document_read_observed on the document read from `file` (see
// cfg_file_open) to its end, or held in `size` bytes at `bytes`, and named
// `name` in every message. Neither judges a file mode: a caller that reads
// a file judges the mode `file` was found with first.
int cfg_document_read_file_observed(const cfg_file &file, const char *name,
                                    const cfg_document_observer *observer);
int cfg_document_read_memory_observed(const char *bytes, size_t size, const char *name,
                                      const cfg_document_observer *observer);

// Reads the configured file into an emptied active configuration; on
// failure the previous configuration is active again. 0 or -1.
int cfg_reload_file();
