#include "ReadStop.h"

namespace {

thread_local const std::atomic<bool> *CurrentStop = nullptr;

} // namespace

ScopedReadStop::ScopedReadStop(const std::atomic<bool> &stop) : previous(CurrentStop)
{
    CurrentStop = &stop;
}

ScopedReadStop::~ScopedReadStop()
{
    CurrentStop = previous;
}

bool ReadStopRequested()
{
    return CurrentStop && CurrentStop->load(std::memory_order_relaxed);
}

const std::atomic<bool> *CurrentReadStop()
{
    return CurrentStop;
}
