// pelmora-thumbnailer -s SIZE INPUT OUTPUT: the package's icon as a PNG of at most SIZE pixels,
// for file managers (the freedesktop thumbnailer convention). It needs no display. OUTPUT is the
// only file it puts anywhere, and the only file Pelmora ever writes, by way of a new file beside
// it; with no icon it writes nothing and exits non-zero.
#include "apk/ThumbnailImage.h"
#include "archive/ZipArchive.h"
#include "details/FormatModuleComplaint.h"
#include "details/LoadPackageIcon.h"
#include "formats/Formats.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

enum Exit
{
    Written = 0,
    NoIcon = 1,
    NotWritten = 2,
    Usage = 3
};

// Writes `bytes` to a new file beside `path`, made for the purpose and never a link, then puts
// it in place with one rename, so that a file manager never caches half an image and nothing
// that `path` names, a link's target included, is ever opened for writing. The new file's name
// is short whatever `path`'s is, so that it fits wherever `path`'s name fits.
bool WriteOutput(const QByteArray &path, const QByteArray &bytes)
{
    const QByteArray folder = path.first(path.lastIndexOf('/') + 1);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = folder + ".pelmora-" +
                    QByteArray::number(QRandomGenerator::system()->generate64(), 36) + ".tmp";
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t got =
            ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        written += got;
    }
    const bool whole = ::close(fd) == 0 && written == bytes.size();
    if (whole && ::rename(temporary.constData(), path.constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

// Qt 6.4 paints and scales large images on its global thread pool, whose threads are detached.
// The application object stops them on its way out, but one may still be ending when the
// process exits, and what it would free on the way is then freed by no one. So the process
// waits, a moment at most, until its own thread is the only one left.
void AwaitEndingThreads()
{
    const QDeadlineTimer deadline(500);
    const QDir tasks(QStringLiteral("/proc/self/task"));
    while (tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() > 1 && !deadline.hasExpired())
        ::usleep(100);
}

} // namespace

int main(int argc, char *argv[])
{
    SetFormatModuleComplaint(SayFormatModuleProblem);
    // Paths stay the bytes the file manager gave; Qt's own options are not wanted here.
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0) {
        std::fprintf(stderr, "usage: pelmora-thumbnailer -s SIZE INPUT OUTPUT.png\n");
        return Usage;
    }
    bool isNumber = false;
    const int size = QByteArray(argv[2]).toInt(&isNumber);
    if (!isNumber || size < 1) {
        std::fprintf(stderr, "pelmora-thumbnailer: SIZE must be a positive number\n");
        return Usage;
    }
    const QByteArray input(argv[3]);
    const QByteArray output(argv[4]);

    ZipArchive::NameTimeZoneFile();
    // The tool is found beside the program through the application object; images need no
    // display, so no GUI application is made.
    int qtArgc = 1;
    Exit status = NoIcon;
    {
        QCoreApplication application(qtArgc, argv);
        const std::optional<PackageIcon> icon = LoadPackageIcon(input);
        const QByteArray png = icon ? ThumbnailPng(icon->bytes, size) : QByteArray();
        if (!png.isEmpty())
            status = WriteOutput(output, png) ? Written : NotWritten;
    }
    AwaitEndingThreads();
    return status;
}
