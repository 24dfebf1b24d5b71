#pragma once

#include <QtGlobal>

#include <thread>
#include <utility>

// How the process hands memory back to the system. A tab's text is held
// several times over while it is open (the document, a copy per pause for
// the readers of the whole text, their results), mostly on pool threads.
// Left to itself the allocator keeps every freed copy: it raises its mmap
// threshold after the first large free, so later copies come from the
// threads' arenas, and it returns only an arena's top. The memory of a
// closed tab would stay with the process.
class NBEMemory
{
public:
    // Before any thread starts: large blocks always get their own mapping,
    // returned when freed.
    static void configureAllocator();
    // A long text was let go, or the copies a pause of typing made of one
    // (each pool thread's arena keeps the pages its work freed): shortly
    // after (when the pool threads' shares are gone too) the free pages of
    // every arena go back. Calls within the delay hand back once. Work
    // that is over already needs a shorter delay.
    static void releaseSoon(int delayMs = releaseDelayMs);
    // Times the pages were handed back, so a test can follow a closing.
    static quint64 releases();
    // Frees `value` (thousands of list entries) on a thread of its own. A
    // new thread runs elsewhere at once, where waking a pool's idle one on a
    // busy machine may stall the caller for a time slice.
    template <typename T> static void freeElsewhere(T &&value)
    {
        std::thread([value = std::forward<T>(value)]() mutable {
            std::decay_t<T>(std::move(value));
        }).detach();
    }

    static constexpr qsizetype largeBlockBytes = 1024 * 1024;
    static constexpr int releaseDelayMs = 1000;
    static constexpr int pauseReleaseDelayMs = 300;
};
