// Writes a file through a shared mapping, as any program may: once a page of the mapping is
// dirty, later writes to it move neither the file's size nor its change time.
//   mapping_writer hold FILE OFFSET FIRST SECOND
//       opens FILE for writing, maps it, writes the byte FIRST at OFFSET, says "mapped", then
//       writes SECOND and FIRST there in turn until it is killed
//   mapping_writer later FILE
//       opens FILE for writing, which waits while someone holds a lease on it, maps it, says
//       "mapped" and waits to be killed, writing nothing
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile char *MapForWriting(const char *path)
{
    const int fd = open(path, O_RDWR);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || info.st_size == 0)
        std::exit(2);
    void *mapped =
        mmap(nullptr, std::size_t(info.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        std::exit(2);
    // The mapping keeps the file open for writing.
    close(fd);
    return static_cast<volatile char *>(mapped);
}

void Say(const char *word)
{
    std::printf("%s\n", word);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 6 && std::strcmp(argv[1], "hold") == 0) {
        volatile char *file = MapForWriting(argv[2]);
        const long offset = std::strtol(argv[3], nullptr, 10);
        const char values[2] = {argv[4][0], argv[5][0]};
        file[offset] = values[0];
        Say("mapped");
        for (unsigned turn = 1;; ++turn) {
            file[offset] = values[turn % 2];
            usleep(50);
        }
    }
    if (argc == 3 && std::strcmp(argv[1], "later") == 0) {
        MapForWriting(argv[2]);
        Say("mapped");
        for (;;)
            pause();
    }
    std::fprintf(stderr, "usage: mapping_writer hold FILE OFFSET FIRST SECOND | later FILE\n");
    return 2;
}
