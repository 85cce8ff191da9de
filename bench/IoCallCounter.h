// Counts the file-system and network calls that one thread makes, for the benchmarks: the libc
// entry points are defined in the benchmark program itself (IoCallCounter.c), count the calls of
// the thread that is counting, and forward to libc's own functions.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

struct IoCalls
{
    unsigned long fileSystem; // stat family, open family, directories, removal, renaming
    unsigned long network;    // sockets, name look-ups, send and receive, poll
    unsigned long readWrite;  // read, write and close on any descriptor
};

// Starts counting the calling thread's calls from zero.
void IoCountingStart(void);
// Stops counting and gives what was counted since the start.
struct IoCalls IoCountingStop(void);

#ifdef __cplusplus
}
#endif
