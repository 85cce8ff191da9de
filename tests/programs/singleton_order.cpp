// Child program for the singletons' exit order: creates the log engine, the install thread and
// the resources holder in the order its argument names (i: InstallThread, r: Resources, l: CLog),
// then returns from main, or calls exit(1) with a second argument "exit". Each of the three
// instances that is deleted writes "deleted <name>" on standard error, so the parent sees the
// order of their deletion.
#include "UpdateManager/InstallThread.h"
#include "common/CLog.h"
#include "common/Resources.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct Watched
{
    std::atomic<void*> address{nullptr};
    const char* line;
};

Watched watched[] = {{{nullptr}, "deleted CLog\n"},
                     {{nullptr}, "deleted InstallThread\n"},
                     {{nullptr}, "deleted Resources\n"}};

void NoteDeletion(void* address)
{
    for (Watched& entry : watched) {
        if (address != nullptr && entry.address.load() == address) {
            const ssize_t ignored = ::write(STDERR_FILENO, entry.line, std::strlen(entry.line));
            static_cast<void>(ignored);
        }
    }
}

void* Allocate(std::size_t size, std::size_t alignment)
{
    void* memory = nullptr;
    if (::posix_memalign(&memory, alignment < sizeof(void*) ? sizeof(void*) : alignment, size == 0 ? 1 : size) != 0)
        throw std::bad_alloc();
    return memory;
}

} // namespace

// Every deletion passes here, so the watched ones can be seen.
void* operator new(std::size_t size)
{
    return Allocate(size, alignof(std::max_align_t));
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return Allocate(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* memory) noexcept
{
    NoteDeletion(memory);
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    NoteDeletion(memory);
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept
{
    NoteDeletion(memory);
    std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept
{
    NoteDeletion(memory);
    std::free(memory);
}

int main(int argc, char** argv)
{
    using Kelvora::Resources;
    using Kelvora::UpdateManager::InstallThread;
    for (const char* c = argc > 1 ? argv[1] : ""; *c != '\0'; ++c) {
        if (*c == 'l')
            watched[0].address.store(CSingleton<CLog>::GetInstance());
        else if (*c == 'i')
            watched[1].address.store(CSingleton<InstallThread>::GetInstance());
        else if (*c == 'r')
            watched[2].address.store(CSingleton<Resources>::GetInstance());
    }
    if (argc > 2 && std::strcmp(argv[2], "exit") == 0)
        std::exit(1);
    return 0;
}
