#include "ReadLease.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The descriptors of the leases held, each plus one so that a free slot is zero: the signal
// handler reads them, so they live in memory that is there from the start and are read
// lock-free. Past this many leases at once, no more are taken.
constexpr int LeaseSlots = 256;
std::array<std::atomic<int>, LeaseSlots> Leased = {};
static_assert(std::atomic<int>::is_always_lock_free);

// Gives up every lease being broken. A break shows as no read lease (F_GETLEASE's F_UNLCK), and
// one signal stands for any number of breaks, so all of them are looked at.
void GiveUpBrokenLeases(int)
{
    const int saved = errno;
    for (const std::atomic<int> &slot : Leased) {
        const int fd = slot.load() - 1;
        if (fd >= 0 && ::fcntl(fd, F_GETLEASE) != F_RDLCK)
            ::fcntl(fd, F_SETLEASE, F_UNLCK);
    }
    errno = saved;
}

bool HandleBreaks()
{
    struct sigaction action = {};
    action.sa_handler = GiveUpBrokenLeases;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGIO, &action, nullptr) == 0;
}

} // namespace

ReadLease::ReadLease(int descriptor)
{
    // Without the handler a break's signal would end the process.
    static const bool handled = HandleBreaks();
    if (!handled || descriptor < 0)
        return;
    const int own = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return;
    if (::fcntl(own, F_SETLEASE, F_RDLCK) != 0) {
        writer = errno == EAGAIN;
        ::close(own);
        return;
    }
    for (int at = 0; at < LeaseSlots && slot < 0; ++at) {
        int expected = 0;
        if (Leased[std::size_t(at)].compare_exchange_strong(expected, own + 1))
            slot = at;
    }
    if (slot < 0) {
        ::fcntl(own, F_SETLEASE, F_UNLCK);
        ::close(own);
        return;
    }
    fd = own;
    // A break between the grant and the slot went past the handler: it is given up here.
    if (!held())
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
}

ReadLease::~ReadLease()
{
    if (fd < 0)
        return;
    Leased[std::size_t(slot)].store(0);
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    ::close(fd);
}

bool ReadLease::held() const
{
    return fd >= 0 && ::fcntl(fd, F_GETLEASE) == F_RDLCK;
}
