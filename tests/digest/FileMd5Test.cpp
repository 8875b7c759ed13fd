#include "digest/FileMd5.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

class FileMd5Test : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data();
    void knownDigests();
    void filesWithoutDigest_data();
    void filesWithoutDigest();
    void missingFileIsNotCreated();
    void readOnlyFileIsHashed();
    void fifoReturnsAtOnce();
    void fileOf4GiBIsRefusedBeforeReading();
    void hashingChangesNothing();
    void inMemoryDigest();

private:
    QString write(const QString &name, const QByteArray &content);
    QTemporaryDir directory;
};

QString FileMd5Test::write(const QString &name, const QByteArray &content)
{
    QFile file(directory.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return file.fileName();
}

void FileMd5Test::knownDigests_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("digest");
    QTest::addColumn<int>("readers"); // hashing the file at once, each on a thread of its own
    // The test suite of RFC 1321 (its empty string is a row of filesWithoutDigest: an empty file
    // gets no digest).
    QTest::newRow("a") << QByteArray("a") << QByteArray("0cc175b9c0f1b6a831c399e269772661") << 1;
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("900150983cd24fb0d6963f7d28e17f72")
                         << 1;
    QTest::newRow("message digest")
        << QByteArray("message digest") << QByteArray("f96b697d7cb7938d525a2f31aaf161d0") << 1;
    QTest::newRow("a-z") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                         << QByteArray("c3fcd3d76192e4007dfb496cca67e13b") << 1;
    QTest::newRow("A-Za-z0-9")
        << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
        << QByteArray("d174ab98d277d9f5a5611c2c9f419d9f") << 1;
    QTest::newRow("8 x 1234567890") << QByteArray("1234567890").repeated(8)
                                    << QByteArray("57edf4a22be3c955ac49da2e2107b67a") << 1;
    // More than one read: 3 MiB + 1 of 'a'.
    QTest::newRow("several chunks")
        << QByteArray((3 << 20) + 1, 'a') << QByteArray("9aa778d728a1108a6e8457026db5a877") << 1;
    // The same length in runs of 4,099 bytes, each run's byte one more than the last: hashing a
    // buffer the read has already filled again would change the digest.
    QByteArray runs((3 << 20) + 1, Qt::Uninitialized);
    for (qsizetype i = 0; i < runs.size(); ++i)
        runs[i] = char(i / 4099 % 256);
    QTest::newRow("several chunks, each unlike the last")
        << runs << QByteArray("de01dd46f39f5eefc6bc107cde84c8a0") << 1;
    // Read buffers are kept for reuse: no two reads may be handed the same one.
    QTest::newRow("several chunks, four readers at once")
        << runs << QByteArray("de01dd46f39f5eefc6bc107cde84c8a0") << 4;
}

void FileMd5Test::knownDigests()
{
    QFETCH(QByteArray, content);
    QFETCH(int, readers);
    const QString path = write(QStringLiteral("known.apk"), content);
    std::vector<QByteArray> out(static_cast<std::size_t>(readers));
    std::vector<int> results(static_cast<std::size_t>(readers));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < out.size(); ++i)
        threads.emplace_back(
            [&, i] { results[i] = ComputeFileMd5(QFile::encodeName(path), out[i]); });
    for (std::thread &thread : threads)
        thread.join();
    for (std::size_t i = 0; i < out.size(); ++i) {
        QCOMPARE(results[i], 1);
        QTEST(out[i], "digest");
    }
}

void FileMd5Test::filesWithoutDigest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("result");
    QTest::newRow("empty file") << write(QStringLiteral("empty.apk"), {}) << 1;
    QTest::newRow("folder") << directory.path() << 0;
    QTest::newRow("null path") << QString() << 0;
    QTest::newRow("character device") << QStringLiteral("/dev/zero") << 0;
}

void FileMd5Test::filesWithoutDigest()
{
    QFETCH(QString, path);
    QByteArray out("stale");
    QTEST(ComputeFileMd5(QFile::encodeName(path), out), "result");
    QCOMPARE(out, path.isNull() ? QByteArray("stale") : QByteArray());
}

void FileMd5Test::missingFileIsNotCreated()
{
    const QString path = directory.filePath(QStringLiteral("vanished.apk"));
    QByteArray out("stale");
    QCOMPARE(ComputeFileMd5(QFile::encodeName(path), out), 0);
    QVERIFY(out.isEmpty());
    QVERIFY(!QFileInfo::exists(path));
}

void FileMd5Test::readOnlyFileIsHashed()
{
    const QString path = write(QStringLiteral("readonly.apk"), "abc");
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    // Root ignores permission bits; only an immutable file refuses a writer there.
    if (::geteuid() == 0 &&
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
        QSKIP("running as root on a file system without chattr +i: a write open would succeed");
    QVERIFY2(!QFile(path).open(QIODevice::ReadWrite), "the file must refuse a writer");

    QByteArray out;
    const int result = ComputeFileMd5(QFile::encodeName(path), out);
    if (::geteuid() == 0)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    QCOMPARE(result, 1);
    QCOMPARE(out, QByteArray("900150983cd24fb0d6963f7d28e17f72"));
}

void FileMd5Test::fifoReturnsAtOnce()
{
    const QString path = directory.filePath(QStringLiteral("x.apk"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ComputeFileMd5(QFile::encodeName(path), out), 0);
    QVERIFY(out.isEmpty());
    QVERIFY(timer.elapsed() < 5000);
}

void FileMd5Test::fileOf4GiBIsRefusedBeforeReading()
{
    const QString path = directory.filePath(QStringLiteral("huge.apk"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(1) << 32)); // sparse: nothing is written
    file.close();
    QByteArray out("stale");
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ComputeFileMd5(QFile::encodeName(path), out), 1);
    QVERIFY(out.isEmpty());
    // Reading 4 GiB of holes takes seconds; refusing by size takes microseconds.
    QVERIFY(timer.elapsed() < 500);
}

void FileMd5Test::hashingChangesNothing()
{
    const QByteArray content("package bytes");
    const QString path = write(QStringLiteral("same.apk"), content);
    QFile touch(path);
    QVERIFY(touch.open(QIODevice::ReadWrite));
    QVERIFY(touch.setFileTime(QDateTime::fromSecsSinceEpoch(1234567890),
                              QFileDevice::FileModificationTime));
    touch.close();
    const QDateTime before = QFileInfo(path).lastModified();
    QByteArray out;
    QCOMPARE(ComputeFileMd5(QFile::encodeName(path), out), 1);
    QCOMPARE(QFileInfo(path).lastModified(), before);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void FileMd5Test::inMemoryDigest()
{
    QByteArray out("untouched");
    QCOMPARE(Md5Hex(0, "", out), 0);
    QCOMPARE(out, QByteArray("untouched"));
    QCOMPARE(Md5Hex(3, "abc", out), 1);
    QCOMPARE(out, QByteArray("900150983cd24fb0d6963f7d28e17f72"));
}

QTEST_GUILESS_MAIN(FileMd5Test)
#include "FileMd5Test.moc"
