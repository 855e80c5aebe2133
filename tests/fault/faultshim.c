// Preloaded into a test's child process: counts the calls that change files and kills the process
// with SIGKILL in place of the N-th one, so that a test can stop a save before each of its steps in
// turn, the same way on every run.
//
//   VEXAL_FAULT_WATCH    a folder. Counting begins with the first file-changing call that names an
//                        absolute path inside it, so that the program's start-up does not count.
//   VEXAL_FAULT_KILL_AT  N: the N-th counted call is not made, the process is killed instead.
//   VEXAL_FAULT_LOG      a file that gets one line per counted call: "N call detail".
//   VEXAL_FAULT_REFUSE   the name of a call that fails inside the watched folder: "write" with ENOSPC,
//                        as on a full disk; any other (e.g. "link") with EPERM, as on a file system
//                        that does not offer it.
//
// Only the calls the programs under test change files with are covered (as Qt and glibc open,
// write, sync, link, rename and remove); calls on pipes and the like do not count, nor do other
// threads' and forked children's (their order is not the save's), unless a child starts afresh
// with vexal_fault_restart(). The variables and LD_PRELOAD leave the environment at load, so
// programs the child starts run without the shim.
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static char watch[PATH_MAX];
static char logPath[PATH_MAX];
static char refuse[64];
static long killAt;
static int armed;
static pid_t armedProcess;
static pid_t armedThread;
static long counted;
static int logFd = -1;

#define REAL(name)                                                                                                     \
    static __typeof__(name) *real_##name;                                                                              \
    if (!real_##name)                                                                                                  \
    real_##name = (__typeof__(name) *)dlsym(RTLD_NEXT, #name)

static void copyVariable(const char *name, char *to, size_t size)
{
    const char *value = getenv(name);
    if (value && strlen(value) < size)
        strcpy(to, value);
    unsetenv(name);
}

__attribute__((constructor)) static void readSettings(void)
{
    char at[32] = "0";
    copyVariable("VEXAL_FAULT_KILL_AT", at, sizeof at);
    killAt = strtol(at, NULL, 10);
    copyVariable("VEXAL_FAULT_WATCH", watch, sizeof watch);
    copyVariable("VEXAL_FAULT_LOG", logPath, sizeof logPath);
    copyVariable("VEXAL_FAULT_REFUSE", refuse, sizeof refuse);
    size_t length = strlen(watch);
    while (length > 1 && watch[length - 1] == '/')
        watch[--length] = '\0';
    unsetenv("LD_PRELOAD");
}

// Writes to pipes, terminals and event counters change no file; a close or sync of a folder can.
static int onFile(int fd)
{
    struct stat status;
    return fd >= 0 && fstat(fd, &status) == 0 && (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode));
}

static int insideWatch(const char *path)
{
    const size_t n = strlen(watch);
    return path && strncmp(path, watch, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

// The path a call names, or the one its open file was opened by.
static const char *pathOf(const char *path, int fd, char *opened)
{
    if (path)
        return path;
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, opened, PATH_MAX - 1);
    opened[n < 0 ? 0 : n] = '\0';
    return opened;
}

static int refused(const char *call, const char *path, int fd)
{
    char opened[PATH_MAX];
    if (strcmp(refuse, call) != 0 || !insideWatch(pathOf(path, fd, opened)))
        return 0;
    errno = strcmp(call, "write") == 0 ? ENOSPC : EPERM;
    return 1;
}

static void writeLog(const char *call, const char *path, int fd)
{
    char opened[PATH_MAX];
    char line[PATH_MAX + 128];
    const int length = snprintf(line, sizeof line, "%ld %s %s\n", counted, call, pathOf(path, fd, opened));
    REAL(write);
    if (logFd >= 0 && length > 0)
        real_write(logFd, line, (size_t)length < sizeof line ? (size_t)length : sizeof line - 1);
}

// Called before the real call; does not return when this is the call to stop at.
static void count(const char *call, const char *path, const char *path2, int fd)
{
    if (!watch[0])
        return;
    if (!armed) {
        if (!insideWatch(path) && !insideWatch(path2))
            return;
        armed = 1;
        armedProcess = getpid();
        armedThread = gettid();
        REAL(open);
        logFd = logPath[0] ? real_open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    } else if (getpid() != armedProcess || gettid() != armedThread || (!path && !path2 && !onFile(fd))) {
        return;
    }
    ++counted;
    writeLog(call, path2 ? path2 : path, fd);
    if (counted == killAt)
        raise(SIGKILL);
}

// For a program that forks one process per kill point, so that its start-up is paid once: the
// calling process counts afresh from here and is killed in place of its `at`-th counted call.
void vexal_fault_restart(long at)
{
    if (logFd >= 0) {
        REAL(close);
        real_close(logFd);
    }
    logFd = -1;
    armed = 0;
    counted = 0;
    killAt = at;
}

static int changes(int flags)
{
    return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC | O_APPEND));
}

// The mode argument is there only when the flags create a file.
#define OPEN(name, parameters, arguments)                                                                              \
    int name parameters                                                                                                \
    {                                                                                                                  \
        int mode = 0;                                                                                                  \
        if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {                                                   \
            va_list rest;                                                                                              \
            va_start(rest, flags);                                                                                     \
            mode = va_arg(rest, int);                                                                                  \
            va_end(rest);                                                                                              \
        }                                                                                                              \
        REAL(name);                                                                                                    \
        if (changes(flags))                                                                                            \
            count(#name, path, NULL, -1);                                                                              \
        return real_##name arguments;                                                                                  \
    }

OPEN(open, (const char *path, int flags, ...), (path, flags, mode))
OPEN(open64, (const char *path, int flags, ...), (path, flags, mode))
OPEN(openat, (int dirfd, const char *path, int flags, ...), (dirfd, path, flags, mode))
OPEN(openat64, (int dirfd, const char *path, int flags, ...), (dirfd, path, flags, mode))

// A call on one path or two, or on an open file.
#define CALL(type, name, parameters, arguments, path, path2, fd)                                                       \
    type name parameters                                                                                               \
    {                                                                                                                  \
        REAL(name);                                                                                                    \
        if (refused(#name, path, fd))                                                                                  \
            return -1;                                                                                                 \
        count(#name, path, path2, fd);                                                                                 \
        return real_##name arguments;                                                                                  \
    }

CALL(int, rename, (const char *from, const char *to), (from, to), from, to, -1)
CALL(int, unlink, (const char *path), (path), path, NULL, -1)
CALL(int, link, (const char *from, const char *to), (from, to), from, to, -1)
CALL(int, linkat, (int fromAt, const char *from, int toAt, const char *to, int flags), (fromAt, from, toAt, to, flags),
    from, to, -1)

CALL(ssize_t, write, (int fd, const void *data, size_t size), (fd, data, size), NULL, NULL, fd)
CALL(int, fsync, (int fd), (fd), NULL, NULL, fd)
CALL(int, fdatasync, (int fd), (fd), NULL, NULL, fd)
CALL(int, fchmod, (int fd, mode_t mode), (fd, mode), NULL, NULL, fd)
CALL(int, close, (int fd), (fd), NULL, NULL, fd)
