// The libc functions are declared here by hand, with opaque pointers, so that no system header's
// own declaration (with its attributes) gets in the way; the calls are forwarded unchanged.
#define _GNU_SOURCE
#include "IoCallCounter.h"

#include <dlfcn.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <sys/types.h>

static _Thread_local int counting = 0;
static _Thread_local struct IoCalls calls;

void IoCountingStart(void)
{
    calls.fileSystem = 0;
    calls.network = 0;
    calls.readWrite = 0;
    counting = 1;
}

struct IoCalls IoCountingStop(void)
{
    counting = 0;
    return calls;
}

typedef void (*Function)(void);

// libc's own function of that name, looked up once.
static Function Real(Function* cache, const char* name)
{
    Function function = __atomic_load_n(cache, __ATOMIC_ACQUIRE);
    if (function == NULL) {
        // dlsym gives an object pointer; copying its bytes is the portable way to a function.
        void* symbol = dlsym(RTLD_NEXT, name);
        memcpy(&function, &symbol, sizeof function);
        __atomic_store_n(cache, function, __ATOMIC_RELEASE);
    }
    return function;
}

#define COUNT(kind)                                                                                                    \
    do {                                                                                                               \
        if (counting)                                                                                                  \
            ++calls.kind;                                                                                              \
    } while (0)

#define FORWARD(kind, result, name, parameters, arguments)                                                             \
    result name parameters                                                                                             \
    {                                                                                                                  \
        static Function cache;                                                                                         \
        COUNT(kind);                                                                                                   \
        return ((result(*) parameters)Real(&cache, #name))arguments;                                                   \
    }

FORWARD(fileSystem, int, stat, (const char* path, void* buffer), (path, buffer))
FORWARD(fileSystem, int, stat64, (const char* path, void* buffer), (path, buffer))
FORWARD(fileSystem, int, lstat, (const char* path, void* buffer), (path, buffer))
FORWARD(fileSystem, int, lstat64, (const char* path, void* buffer), (path, buffer))
FORWARD(fileSystem, int, fstatat, (int dir, const char* path, void* buffer, int flags), (dir, path, buffer, flags))
FORWARD(fileSystem, int, fstatat64, (int dir, const char* path, void* buffer, int flags), (dir, path, buffer, flags))
FORWARD(fileSystem, int, statx, (int dir, const char* path, int flags, unsigned mask, void* buffer),
        (dir, path, flags, mask, buffer))
FORWARD(fileSystem, int, access, (const char* path, int mode), (path, mode))
FORWARD(fileSystem, int, faccessat, (int dir, const char* path, int mode, int flags), (dir, path, mode, flags))
FORWARD(fileSystem, void*, fopen, (const char* path, const char* mode), (path, mode))
FORWARD(fileSystem, void*, fopen64, (const char* path, const char* mode), (path, mode))
FORWARD(fileSystem, void*, opendir, (const char* path), (path))
FORWARD(fileSystem, int, mkdir, (const char* path, unsigned mode), (path, mode))
FORWARD(fileSystem, int, unlink, (const char* path), (path))
FORWARD(fileSystem, int, unlinkat, (int dir, const char* path, int flags), (dir, path, flags))
FORWARD(fileSystem, int, rmdir, (const char* path), (path))
FORWARD(fileSystem, int, rename, (const char* from, const char* to), (from, to))
FORWARD(fileSystem, int, remove, (const char* path), (path))
FORWARD(fileSystem, ssize_t, readlink, (const char* path, char* buffer, size_t size), (path, buffer, size))
FORWARD(fileSystem, char*, realpath, (const char* path, char* resolved), (path, resolved))

FORWARD(network, int, socket, (int domain, int type, int protocol), (domain, type, protocol))
FORWARD(network, int, connect, (int fd, const void* address, unsigned length), (fd, address, length))
FORWARD(network, int, accept, (int fd, void* address, void* length), (fd, address, length))
FORWARD(network, int, getaddrinfo, (const char* node, const char* service, const void* hints, void* result),
        (node, service, hints, result))
FORWARD(network, ssize_t, send, (int fd, const void* data, size_t size, int flags), (fd, data, size, flags))
FORWARD(network, ssize_t, sendto,
        (int fd, const void* data, size_t size, int flags, const void* address, unsigned length),
        (fd, data, size, flags, address, length))
FORWARD(network, ssize_t, sendmsg, (int fd, const void* message, int flags), (fd, message, flags))
FORWARD(network, ssize_t, recv, (int fd, void* data, size_t size, int flags), (fd, data, size, flags))
FORWARD(network, ssize_t, recvfrom, (int fd, void* data, size_t size, int flags, void* address, void* length),
        (fd, data, size, flags, address, length))
FORWARD(network, ssize_t, recvmsg, (int fd, void* message, int flags), (fd, message, flags))
FORWARD(network, int, poll, (void* fds, unsigned long count, int timeout), (fds, count, timeout))

FORWARD(readWrite, ssize_t, read, (int fd, void* data, size_t size), (fd, data, size))
FORWARD(readWrite, ssize_t, write, (int fd, const void* data, size_t size), (fd, data, size))
FORWARD(readWrite, int, close, (int fd), (fd))

// The open family takes its mode only when it creates a file.
static int TakesMode(int flags)
{
    return (flags & 0100) != 0 || (flags & 020000000) != 0; // O_CREAT, O_TMPFILE
}

// `leading` are the parameters before the flags, in parentheses, and `names` their names.
#define UNPACK(...) __VA_ARGS__
#define FORWARD_OPEN(name, leading, names)                                                                             \
    int name(UNPACK leading, int flags, ...)                                                                           \
    {                                                                                                                  \
        static Function cache;                                                                                         \
        unsigned mode = 0;                                                                                             \
        if (TakesMode(flags)) {                                                                                        \
            va_list rest;                                                                                              \
            va_start(rest, flags);                                                                                     \
            mode = va_arg(rest, unsigned);                                                                             \
            va_end(rest);                                                                                              \
        }                                                                                                              \
        COUNT(fileSystem);                                                                                             \
        return ((int (*)(UNPACK leading, int, ...))Real(&cache, #name))(UNPACK names, flags, mode);                    \
    }

FORWARD_OPEN(open, (const char* path), (path))
FORWARD_OPEN(open64, (const char* path), (path))
FORWARD_OPEN(openat, (int dir, const char* path), (dir, path))
FORWARD_OPEN(openat64, (int dir, const char* path), (dir, path))
