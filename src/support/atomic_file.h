// Writing a file whole: the new contents go to a private temporary file
// beside it, and only a complete and synced copy takes its place, so that
// a reader sees the old file or the new one, never a part, and a secret in
// the contents is never readable by others, whatever the umask.
//
// Only a regular file is ever replaced. Anything else at the path is what
// the user meant to write through, not over: a device or a FIFO (renamed
// over, /dev/null would become a private file holding the secret), a
// symbolic link (its target would stay as it was while the link went), a
// socket or a directory.
#pragma once

#include <cstddef>

// Whether atomic_file_write may put a file at `path`: 0 when it names a
// regular file or nothing at all, and also when it cannot be looked at (a
// missing folder, say), which the write then reports in its own words.
// Else -1 after one error: "PATH: not a regular file (KIND)", KIND as
// fd_type_name names it, or for a symbolic link "PATH: not a regular file
// (symbolic link to TARGET): give the path it points to". Values are shown
// as log_input_value shows them. Meant to be called before the work whose
// result is written, so that a refused path costs nothing; the write looks
// again.
int atomic_file_check_target(const char *path);

// Replaces the regular file at `path`, or creates it, with the `size`
// bytes at `data`: they are written to ".onyxcast-XXXXXX" in the folder of
// `path` (a short name, so that any name the folder takes works), created
// with O_EXCL and O_CLOEXEC and given mode 0600, then synced, and renamed
// over `path`, whose folder is then synced too.
//
// The new file is the caller's with mode 0600, whatever the mode and owner
// of the file it replaces. Other hard links to the old file keep the old
// contents.
//
// Right before the rename the path is looked at again, and anything but a
// regular file found there is refused as atomic_file_check_target refuses
// it. Where nothing was found, the rename refuses to replace what appeared
// since (where the file system can tell). What remains is the instant
// between that look and the rename of a regular file: a process that may
// write to the folder can swap something else in there, and it is
// replaced. Such a process could as well replace the new file afterwards.
//
// Signals that would end the process (SIGINT, SIGTERM, SIGHUP and the
// like) are held back meanwhile and take effect once the new file is in
// place or the temporary one removed; SIGXFSZ is ignored, so that passing
// the file size limit is a write error. Only SIGKILL or a crash leaves a
// temporary file behind.
//
// Returns 0. On failure: -1 after one error "PATH: WHAT: REASON" with the
// system's reason, where WHAT is "cannot open the folder FOLDER", "cannot
// create a temporary file in FOLDER", "cannot set mode 0600", "cannot
// write", "cannot move into place" or "cannot sync the folder FOLDER"
// (the file is then in place, but a crash may still lose the rename), or
// the refusal above; PATH and FOLDER are shown as log_input_value shows
// them. In every case but the sync, the file at `path` is as it was (or
// absent) and no temporary file is left.
int atomic_file_write(const char *path, const void *data, size_t size);
