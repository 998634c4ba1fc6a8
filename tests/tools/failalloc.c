/*
 * An allocator shim for LD_PRELOAD that makes one chosen allocation fail,
 * so that every allocation point of a real run can be tried in turn.
 *
 *   ONYX_FAIL_ALLOC=K     the K-th counted allocation (1-based) returns null
 *                         with ENOMEM; K followed by "+" fails that one and
 *                         every later one, as real exhaustion would
 *   ONYX_COUNT_ALLOC=FILE at exit, FILE receives the number of counted
 *                         allocations the run made (at exit(3) or at
 *                         _exit(2), which the programs end with)
 *
 * Counted are malloc, calloc, realloc (except the freeing realloc to size
 * 0), reallocarray and the aligned allocators. strdup, operator new and
 * the library's own helpers all end in malloc: glibc lets its internal
 * calls be interposed too, so they need no hook of their own.
 *
 * The real allocator is reached through glibc's __libc_* entry points, not
 * dlsym, which may itself allocate before the hook is ready.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);

static unsigned long counted;
static unsigned long fail_at;
static int fail_after;
static int configured;

static unsigned long parse_count(const char *text, int *plus)
{
    unsigned long value = 0;
    for (; *text >= '0' && *text <= '9'; text++)
        value = value * 10 + (unsigned long)(*text - '0');
    *plus = *text == '+';
    return value;
}

static void configure(void)
{
    configured = 1;
    /* getenv does not allocate. */
    const char *k = getenv("ONYX_FAIL_ALLOC");
    if (k != NULL)
        fail_at = parse_count(k, &fail_after);
}

/* True when this allocation is to fail. */
static int should_fail(void)
{
    if (!configured)
        configure();
    counted++;
    if (fail_at == 0)
        return 0;
    if (counted == fail_at || (fail_after && counted > fail_at)) {
        errno = ENOMEM;
        return 1;
    }
    return 0;
}

void *malloc(size_t size)
{
    return should_fail() ? NULL : __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    return should_fail() ? NULL : __libc_calloc(count, size);
}

void *realloc(void *block, size_t size)
{
    if (block != NULL && size == 0)
        return __libc_realloc(block, size);
    return should_fail() ? NULL : __libc_realloc(block, size);
}

void *reallocarray(void *block, size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return NULL;
    }
    return realloc(block, count * size);
}

void *memalign(size_t alignment, size_t size)
{
    return should_fail() ? NULL : __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void **blockp, size_t alignment, size_t size)
{
    void *block = memalign(alignment, size);
    if (block == NULL)
        return ENOMEM;
    *blockp = block;
    return 0;
}

/* Runs after the program's own exit handlers; writes with plain system
 * calls so that reporting the count allocates nothing. */
__attribute__((destructor)) static void report_count(void)
{
    const char *path = getenv("ONYX_COUNT_ALLOC");
    if (path == NULL || *path == '\0')
        return;
    char digits[32];
    char *p = digits + sizeof digits;
    *--p = '\n';
    unsigned long n = counted;
    do {
        *--p = (char)('0' + n % 10);
        n /= 10;
    } while (n != 0);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    ssize_t ignored = write(fd, p, (size_t)(digits + sizeof digits - p));
    (void)ignored;
    close(fd);
}

/* A program that ends with _exit runs no destructor: the count goes out
 * here instead. The C library's own exit reaches the system call without
 * coming through this, and reports in the destructor above. */
void _exit(int status)
{
    report_count();
    for (;;)
        syscall(SYS_exit_group, status);
}

void _Exit(int status)
{
    _exit(status);
}
