// Standard input, output and error for a program that may be started with
// some of them closed.
#pragma once

// Bits of *closedp: descriptor n is bit 1 << n.
enum {
    STDFD_STDIN = 1 << 0,
    STDFD_STDOUT = 1 << 1,
    STDFD_STDERR = 1 << 2,
};

// The device that stands in for a closed descriptor.
#define STDFD_NULL_DEVICE "/dev/null"

// Call first thing, before anything opens a descriptor. A descriptor 0, 1
// or 2 left closed would be taken by the next one opened, such as the
// system log's socket, and whatever the program then writes to standard
// output or error would land there. Each closed one is pointed at the null
// device, opened for the other direction, so that using it still fails
// with EBADF as on the closed descriptor, and is recorded in *closedp.
//
// Returns 0, or -1 with the reason in *errstrp when the null device cannot
// be opened; the run must then stop without opening anything. *closedp is
// set in both cases; after a failure its highest bit is the descriptor
// that is still closed.
int stdfd_sanitize(unsigned int *closedp, const char **errstrp);

// stdfd_sanitize() as a program's first step: when a descriptor cannot be
// filled, says so on standard error under the program's `name` (the log is
// not open yet) and returns -1; the program must then end with status 1.
int stdfd_prepare(const char *name, unsigned int *closedp);
