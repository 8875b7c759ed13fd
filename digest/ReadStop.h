#pragma once

#include <atomic>

// Work on a worker thread ends when the window it works for closes. While a ScopedReadStop
// names a flag for the thread, every read through SafeFile, and through archives opened over
// one, fails once that flag is set, so whatever the thread is doing ends at its next read.
class ScopedReadStop
{
public:
    explicit ScopedReadStop(const std::atomic<bool> &stop);
    ~ScopedReadStop();
    ScopedReadStop(const ScopedReadStop &) = delete;
    ScopedReadStop &operator=(const ScopedReadStop &) = delete;

private:
    const std::atomic<bool> *previous;
};

// Whether the calling thread's reads are to stop.
bool ReadStopRequested();
// The flag the calling thread's reads stop on, for a thread that reads on its behalf to name
// too; null when there is none.
const std::atomic<bool> *CurrentReadStop();
