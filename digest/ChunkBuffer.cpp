#include "ChunkBuffer.h"

#include <algorithm>
#include <mutex>
#include <sys/mman.h>
#include <vector>

namespace {

// Enough for two reads at once, each with its widest ring.
constexpr std::size_t KeptBytes = std::size_t(16) << 20;

class IdleChunks
{
public:
    unsigned char *take(std::size_t size)
    {
        {
            const std::lock_guard lock(mutex);
            const auto found = std::find_if(idle.begin(), idle.end(),
                                            [size](const Idle &i) { return i.size == size; });
            if (found != idle.end()) {
                unsigned char *p = found->data;
                kept -= size;
                idle.erase(found);
                return p;
            }
        }
        void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return nullptr;
        // A child started with fork would otherwise share the pages until exec, and every later
        // write to them would fault again to copy them.
        ::madvise(p, size, MADV_DONTFORK);
        return static_cast<unsigned char *>(p);
    }

    void give(unsigned char *p, std::size_t size)
    {
        {
            const std::lock_guard lock(mutex);
            if (kept + size <= KeptBytes) {
                idle.push_back({p, size});
                kept += size;
                return;
            }
        }
        ::munmap(p, size);
    }

private:
    struct Idle
    {
        unsigned char *data;
        std::size_t size;
    };

    std::mutex mutex;
    std::vector<Idle> idle;
    std::size_t kept = 0;
};

// Never destroyed: a buffer may be let go by a static's destructor at exit.
IdleChunks &Chunks()
{
    static auto *chunks = new IdleChunks;
    return *chunks;
}

} // namespace

void FreeChunk::operator()(unsigned char *p) const
{
    if (p)
        Chunks().give(p, size);
}

ChunkBuffer AllocateChunk(qint64 size)
{
    if (size <= 0)
        return ChunkBuffer(nullptr, FreeChunk{0});
    const auto bytes = std::size_t(size);
    return ChunkBuffer(Chunks().take(bytes), FreeChunk{bytes});
}
