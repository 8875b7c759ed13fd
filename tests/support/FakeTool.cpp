// Stands in for aapt where the real tool cannot be made to misbehave. FAKE_TOOL_MODE picks:
//   argv      - writes each argument it got, argv[0] included, each followed by a NUL byte
//   fds       - writes the numbers of its open descriptors, then what its standard input is
//   chunks    - writes a package line, then over 1 MiB in uneven chunks with pauses, alternating
//               stdout and stderr, and keeps a copy of everything it sent in the file
//               FAKE_TOOL_LOG
//   error     - prints a good package line and then an "ERROR" line
//   late-error - the same after a pause of 200 ms
//   package   - prints a good package line, whatever the file is
//   killed    - prints a good package line, then dies by a signal
//   hang      - prints a good package line, then never ends
//   flood     - prints a good package line, then writes lines without end or pause
//   nopackage - prints lines of badging output but no package line
//   silent    - prints nothing
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace {

void WriteAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            std::exit(3);
        done += std::size_t(n);
    }
}

void WriteArguments(int argc, char **argv)
{
    std::string out;
    for (int i = 0; i < argc; ++i)
        out.append(argv[i], std::strlen(argv[i]) + 1);
    WriteAll(1, out);
}

void WriteDescriptors()
{
    DIR *dir = opendir("/proc/self/fd");
    std::string out;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(dir))
            continue;
        out += entry->d_name;
        out += ' ';
    }
    closedir(dir);
    char target[256] = {};
    readlink("/proc/self/fd/0", target, sizeof target - 1);
    out += "stdin=";
    out += target;
    WriteAll(1, out);
}

void WriteChunks()
{
    static const std::size_t sizes[] = {1, 99, 100, 4095, 4096, 4097, 65535, 65536, 3, 131072, 7};
    FILE *log = std::fopen(std::getenv("FAKE_TOOL_LOG"), "wb");
    const std::string package = "package: name='com.example.chunks' versionName='1'\n";
    WriteAll(1, package);
    std::fwrite(package.data(), 1, package.size(), log);
    std::size_t total = 0;
    for (unsigned i = 0; total < (1u << 20) + 12345; ++i) {
        const std::size_t size = sizes[i % (sizeof sizes / sizeof sizes[0])];
        std::string chunk(size, char('A' + i % 26));
        chunk.back() = '\n';
        WriteAll(i % 2 ? 2 : 1, chunk);
        std::fwrite(chunk.data(), 1, chunk.size(), log);
        total += size;
        if (i % 7 == 0)
            usleep(2000);
    }
    std::fclose(log);
}

} // namespace

int main(int argc, char **argv)
{
    const char *mode = std::getenv("FAKE_TOOL_MODE");
    const std::string m = mode ? mode : "";
    if (m == "argv")
        WriteArguments(argc, argv);
    else if (m == "fds")
        WriteDescriptors();
    else if (m == "chunks")
        WriteChunks();
    else if (m == "error" || m == "late-error") {
        if (m == "late-error")
            usleep(200000);
        WriteAll(1, "package: name='com.example.good' versionCode='1' versionName='9.9'\n"
                    "ERROR getting 'android:icon' attribute: attribute is not a string value\n");
    } else if (m == "package")
        WriteAll(1, "package: name='com.example.fake' versionCode='1' versionName='1.0'\n");
    else if (m == "hang") {
        WriteAll(1, "package: name='com.example.fake' versionCode='1' versionName='1.0'\n");
        for (;;)
            pause();
    } else if (m == "flood") {
        WriteAll(1, "package: name='com.example.fake' versionCode='1' versionName='1.0'\n");
        const std::string lines(1 << 16, '\n');
        for (;;)
            WriteAll(1, lines);
    } else if (m == "killed") {
        WriteAll(1, "package: name='com.example.fake' versionCode='1' versionName='1.0'\n");
        std::raise(SIGKILL);
    } else if (m == "nopackage")
        WriteAll(1, "sdkVersion:'29'\nlocales: '--_--'\n");
    else if (m != "silent")
        return 2;
    return 0;
}
