#pragma once

#include <QtGlobal>
#include <cstddef>
#include <memory>

struct FreeChunk
{
    std::size_t size = 0;
    void operator()(unsigned char *p) const;
};

// A read buffer of `size` bytes, a multiple of the page size, page-aligned: an unaligned one
// costs the kernel's copy noticeably. Null when the memory is refused. A buffer let go is kept
// for the next one of its size, up to 16 MiB in all: a fresh page costs a fault when first
// written, and on some virtual machines faulting in a buffer takes longer than reading a file
// through it.
using ChunkBuffer = std::unique_ptr<unsigned char, FreeChunk>;
ChunkBuffer AllocateChunk(qint64 size);
