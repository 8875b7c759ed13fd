#pragma once

// A read lease (fcntl F_SETLEASE, F_RDLCK) on an open file. The kernel grants it only while
// nobody has the file open for writing, a shared writable mapping included, and breaks it as
// soon as anyone opens the file for writing or truncates it. So while held() stays true the file
// has not been written since the lease was taken, however the writer meant to go about it: a
// page of a shared mapping that is already dirty takes later writes without moving the file's
// change time, but such a mapping keeps its file open for writing, and the lease is refused.
//
// The kernel tells the holder of a lease that someone wants to write with a signal, SIGIO, and
// makes the writer wait until the lease is given up, for up to /proc/sys/fs/lease-break-time
// seconds. The first lease installs a handler for it, for the whole process: it gives up every
// lease being broken at once, so the writer goes on without waiting, and held() is false from
// then on. The handler restarts what it interrupts (SA_RESTART), and a child started meanwhile
// never gets the signal: it goes to the process that took the lease.
class ReadLease
{
public:
    // Tries to take the lease on the regular file open as `descriptor` (read-only), through a
    // descriptor of its own.
    explicit ReadLease(int descriptor);
    // Gives the lease up.
    ~ReadLease();
    ReadLease(const ReadLease &) = delete;
    ReadLease &operator=(const ReadLease &) = delete;

    // Whether the lease was granted.
    bool taken() const { return fd >= 0; }
    // Why it was not: the file was open for writing elsewhere. Otherwise leases are not to be
    // had here (not the file's owner without CAP_LEASE, a file system without leases).
    bool refusedForWriter() const { return writer; }
    // Whether the lease is still held: nobody has opened the file for writing since it was taken.
    bool held() const;

private:
    int fd = -1;
    int slot = -1;
    bool writer = false;
};
