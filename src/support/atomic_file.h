// Writing a file whole: the new contents go to a private temporary file
// beside it, and only a complete and synced copy takes its place, so that
// a reader sees the old file or the new one, never a part, and a secret in
// the contents is never readable by others, whatever the umask.
#pragma once

#include <cstddef>

// Replaces the file at `path`, or creates it, with the `size` bytes at
// `data`: they are written to ".NAME.XXXXXX" in the folder of `path`,
// created with O_EXCL and O_CLOEXEC and given mode 0600, then synced, and
// renamed over `path`, whose folder is then synced too.
//
// The new file is the caller's with mode 0600, whatever the mode and owner
// of the file it replaces. A symbolic link at `path` is itself replaced;
// the file it pointed to stays as it was. Other hard links to the old file
// keep the old contents.
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
// (the file is then in place, but a crash may still lose the rename); in
// every case but the last, the file at `path` is as it was (or absent) and
// no temporary file is left.
int atomic_file_write(const char *path, const void *data, size_t size);
