/* Swaps two files under their names, over and over, while a command runs:
 * for a test that a program judges and reads one and the same file while
 * the path it was given changes under it.
 *
 * Usage: swap_files PATH1 PATH2 COMMAND [ARG...]
 * Each swap exchanges the two names at once (renameat2 RENAME_EXCHANGE),
 * so either name always leads to one of the two files. Exits with the
 * command's status (128 + N for a signal N), 125 when the swapping itself
 * fails, or 77 when the file system cannot exchange names. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { kFailed = 125, kSkipped = 77 };

static int exchange(const char *a, const char *b)
{
    return renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: swap_files PATH1 PATH2 COMMAND [ARG...]\n");
        return kFailed;
    }
    /* Twice, so that the files start where they were. */
    if (exchange(argv[1], argv[2]) != 0 || exchange(argv[1], argv[2]) != 0) {
        fprintf(stderr, "swap_files: %s, %s: %s\n", argv[1], argv[2], strerror(errno));
        return errno == EINVAL || errno == ENOSYS ? kSkipped : kFailed;
    }

    pid_t child = fork();
    if (child < 0) {
        fprintf(stderr, "swap_files: fork: %s\n", strerror(errno));
        return kFailed;
    }
    if (child == 0) {
        execvp(argv[3], argv + 3);
        fprintf(stderr, "swap_files: %s: %s\n", argv[3], strerror(errno));
        _exit(127);
    }

    /* A pause between swaps, however short, lets the swapper wake in the
     * middle of the command's work when the two share a processor; flat
     * out, it would swap only between the command's time slices. */
    const struct timespec pause = {0, 1000};
    int status = 0;
    unsigned long swaps = 0;
    for (;;) {
        if (exchange(argv[1], argv[2]) != 0) {
            fprintf(stderr, "swap_files: %s, %s: %s\n", argv[1], argv[2], strerror(errno));
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return kFailed;
        }
        swaps++;
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR) {
            fprintf(stderr, "swap_files: waitpid: %s\n", strerror(errno));
            return kFailed;
        }
        nanosleep(&pause, NULL);
    }
    fprintf(stderr, "swap_files: %lu swaps\n", swaps);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
