// Reading a version-1 document back into the active configuration, and the
// reload that keeps the previous configuration when a new one fails.
#pragma once

// 0 when the file may be used, -1 when it cannot be examined or others may
// write to it. Readable by others or by the group only gives a message.
int cfg_check_file_mode(const char *path);

// Adds what the document at `path` holds to the active configuration,
// reporting each refusal with file, line, entry and element (past the
// first hundred only counted, see log_input). 0 when
// everything was read and every entry validated, else -1; a failed read
// leaves whatever was set before the failure.
int cfg_document_read(const char *path);

// Reads the configured file into an emptied active configuration; on
// failure the previous configuration is active again. 0 or -1.
int cfg_reload_file();
