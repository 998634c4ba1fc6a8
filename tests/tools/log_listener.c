/* A stand-in for the system log daemon: binds a datagram socket at SOCKET,
 * runs COMMAND, and records every datagram that arrives while it runs into
 * RECORD, one line each ("\" and newlines escaped as "\\" and "\n"), so that
 * a test can count what reached the log and search it.
 *
 * Usage: log_listener SOCKET RECORD COMMAND [ARG...]
 * Exits with the command's status (128 + N for a signal N), or 125 when the
 * listener itself fails.
 *
 * It reads while the command runs: the kernel queues only a few datagrams
 * for a socket that nobody reads, and a sender then blocks. Once the
 * command has ended, whatever it sent is in the queue, so one last read
 * without waiting sees all of it. */
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

enum { kFailed = 125 };

static char buffer[1 << 20];

static int record(int sock, FILE *out, int flags)
{
    for (;;) {
        ssize_t n = recv(sock, buffer, sizeof(buffer), flags);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
        for (ssize_t i = 0; i < n; i++) {
            if (buffer[i] == '\n')
                fputs("\\n", out);
            else if (buffer[i] == '\\')
                fputs("\\\\", out);
            else
                putc(buffer[i], out);
        }
        putc('\n', out);
        if (flags == 0)
            return 0;
    }
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: log_listener SOCKET RECORD COMMAND [ARG...]\n");
        return kFailed;
    }
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    if (strlen(argv[1]) >= sizeof(addr.sun_path)) {
        fprintf(stderr, "log_listener: %s: path too long\n", argv[1]);
        return kFailed;
    }
    strcpy(addr.sun_path, argv[1]);

    int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0 || bind(sock, (struct sockaddr *)&addr, sizeof(addr)) < 0) {
        fprintf(stderr, "log_listener: %s: %s\n", argv[1], strerror(errno));
        return kFailed;
    }
    FILE *out = fopen(argv[2], "we");
    if (out == NULL) {
        fprintf(stderr, "log_listener: %s: %s\n", argv[2], strerror(errno));
        unlink(argv[1]);
        return kFailed;
    }

    pid_t child = fork();
    if (child < 0) {
        fprintf(stderr, "log_listener: fork: %s\n", strerror(errno));
        unlink(argv[1]);
        return kFailed;
    }
    if (child == 0) {
        execvp(argv[3], argv + 3);
        fprintf(stderr, "log_listener: %s: %s\n", argv[3], strerror(errno));
        _exit(127);
    }

    int status = 0;
    int failed = 0;
    for (;;) {
        struct pollfd pfd = {.fd = sock, .events = POLLIN};
        int ready = poll(&pfd, 1, 50);
        if (ready > 0 && record(sock, out, 0) < 0)
            failed = 1;
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR) {
            failed = 1;
            break;
        }
    }
    if (record(sock, out, MSG_DONTWAIT) < 0)
        failed = 1;
    if (fclose(out) != 0)
        failed = 1;
    close(sock);
    unlink(argv[1]);
    if (failed) {
        fprintf(stderr, "log_listener: recording failed\n");
        return kFailed;
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
