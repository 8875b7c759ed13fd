// Native libraries and 16 KB pages: libraries built at test time by gcc and clang, packed by aapt
// compressed or stored, and realigned by zipalign, whose own check tells where each entry lies.
#include "TestSupport.h"
#include "apk/NativeLibraries.h"
#include "archive/ZipArchive.h"
#include "details/PackageDetails.h"
#include "digest/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Texts = QStringList;

enum Storage
{
    Compressed,
    StoredAnywhere, // uncompressed where aapt puts it
    StoredOnPages   // uncompressed, realigned to 16 KB by zipalign
};

QByteArray Run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

QString ReadinessName(PageReadiness readiness)
{
    switch (readiness) {
    case PageReadiness::Ready:
        return QStringLiteral("ready");
    case PageReadiness::NotReady:
        return QStringLiteral("not-ready");
    case PageReadiness::Unreadable:
        return QStringLiteral("unreadable");
    case PageReadiness::NotApplicable:
        break;
    }
    return QStringLiteral("n/a");
}

} // namespace

class NativeLibraryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void libraries_data();
    void libraries();
    void archiveNotOpen();

private:
    // Packs `files` ("path=kind") with aapt, kept as `storage` says.
    QString pack(const QString &name, const Texts &files, Storage storage);

    QTemporaryDir directory;
    QHash<QString, QByteArray> kinds; // the bytes of each kind of library
};

void NativeLibraryTest::initTestCase()
{
    const QString source = directory.filePath(QStringLiteral("f.c"));
    QVERIFY(WriteFile(source, "int f(void) { return 16; }\n"));
    const QStringList gcc{QStringLiteral("-shared"), QStringLiteral("-fPIC"), source};
    const QStringList clang{QStringLiteral("--target=aarch64-linux-gnu"),
                            QStringLiteral("-nostdlib"), QStringLiteral("-shared"),
                            QStringLiteral("-fuse-ld=lld"), source};
    // lld's default page for AArch64 is 64 KB, so its 4 KB library asks for 4 KB outright.
    const QList<std::tuple<QString, QString, QStringList>> builds{
        {QStringLiteral("x86_64-16k"), QStringLiteral(SYSTEM_GCC),
         gcc + QStringList{QStringLiteral("-Wl,-z,max-page-size=16384")}},
        {QStringLiteral("x86_64-4k"), QStringLiteral(SYSTEM_GCC), gcc},
        {QStringLiteral("arm64-16k"), QStringLiteral(SYSTEM_CLANG),
         clang + QStringList{QStringLiteral("-Wl,-z,max-page-size=16384")}},
        {QStringLiteral("arm64-4k"), QStringLiteral(SYSTEM_CLANG),
         clang + QStringList{QStringLiteral("-Wl,-z,max-page-size=4096")}},
    };
    for (const auto &[kind, compiler, arguments] : builds) {
        const QString output = directory.filePath(kind + QStringLiteral(".so"));
        int exitCode = -1;
        Run(compiler, arguments + QStringList{QStringLiteral("-o"), output}, &exitCode);
        QCOMPARE(exitCode, 0);
        QFile library(output);
        QVERIFY(library.open(QIODevice::ReadOnly));
        kinds.insert(kind, library.readAll());
    }
    kinds.insert(QStringLiteral("not-elf"), "not an ELF file\n");
    kinds.insert(QStringLiteral("cut"), kinds.value(QStringLiteral("x86_64-16k")).first(40));
}

QString NativeLibraryTest::pack(const QString &name, const Texts &files, Storage storage)
{
    QTemporaryDir raw;
    for (const QString &file : files) {
        const QStringList pathAndKind = file.split(u'=');
        if (!WriteFile(raw.filePath(pathAndKind[0]), kinds.value(pathAndKind[1])))
            return {};
    }
    const QString manifest = directory.filePath(QStringLiteral("AndroidManifest.xml"));
    if (!WriteFile(manifest, "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
                             "package='org.example.native'><application/></manifest>\n"))
        return {};
    const QString packed = directory.filePath(name + QStringLiteral(".unaligned.apk"));
    const QStringList uncompressed = storage == Compressed
                                         ? QStringList()
                                         : QStringList{QStringLiteral("-0"), QStringLiteral("so")};
    int exitCode = -1;
    Run(QStringLiteral(SYSTEM_AAPT),
        QStringList{QStringLiteral("package"), QStringLiteral("-f")} + uncompressed +
            QStringList{QStringLiteral("-M"), manifest, QStringLiteral("-I"),
                        QStringLiteral(FRAMEWORK_RES), QStringLiteral("-F"), packed, raw.path()},
        &exitCode);
    if (exitCode != 0 || storage != StoredOnPages)
        return exitCode == 0 ? packed : QString();
    const QString aligned = directory.filePath(name + QStringLiteral(".apk"));
    Run(QStringLiteral(SYSTEM_ZIPALIGN),
        {QStringLiteral("-f"), QStringLiteral("16384"), packed, aligned}, &exitCode);
    return exitCode == 0 ? aligned : QString();
}

void NativeLibraryTest::libraries_data()
{
    QTest::addColumn<Texts>("files");
    QTest::addColumn<int>("storage");
    QTest::addColumn<Texts>("found"); // "path stored? readiness", sorted
    QTest::addColumn<QString>("summary");

    // aapt keeps the short libbad.so uncompressed, as compressing would not shrink it.
    QTest::newRow("compressed: by the segments alone")
        << Texts{QStringLiteral("lib/x86_64/libsixteen.so=x86_64-16k"),
                 QStringLiteral("lib/x86_64/libfour.so=x86_64-4k"),
                 QStringLiteral("lib/arm64-v8a/libsixteen.so=arm64-16k"),
                 QStringLiteral("lib/arm64-v8a/libfour.so=arm64-4k"),
                 QStringLiteral("lib/armeabi-v7a/libfour.so=arm64-4k"),
                 QStringLiteral("lib/x86_64/libbad.so=not-elf")}
        << int(Compressed)
        << Texts{QStringLiteral("lib/arm64-v8a/libfour.so compressed not-ready"),
                 QStringLiteral("lib/arm64-v8a/libsixteen.so compressed ready"),
                 QStringLiteral("lib/armeabi-v7a/libfour.so compressed n/a"),
                 QStringLiteral("lib/x86_64/libbad.so stored unreadable"),
                 QStringLiteral("lib/x86_64/libfour.so compressed not-ready"),
                 QStringLiteral("lib/x86_64/libsixteen.so compressed ready")}
        << QStringLiteral("不兼容（3 个库）");
    QTest::newRow("stored off 16 KB boundaries")
        << Texts{QStringLiteral("lib/x86_64/libsixteen.so=x86_64-16k"),
                 QStringLiteral("lib/arm64-v8a/libsixteen.so=arm64-16k")}
        << int(StoredAnywhere)
        << Texts{QStringLiteral("lib/arm64-v8a/libsixteen.so stored not-ready"),
                 QStringLiteral("lib/x86_64/libsixteen.so stored not-ready")}
        << QStringLiteral("不兼容（2 个库）");
    QTest::newRow("stored on 16 KB boundaries")
        << Texts{QStringLiteral("lib/x86_64/libsixteen.so=x86_64-16k"),
                 QStringLiteral("lib/arm64-v8a/libsixteen.so=arm64-16k"),
                 QStringLiteral("lib/x86_64/libfour.so=x86_64-4k")}
        << int(StoredOnPages)
        << Texts{QStringLiteral("lib/arm64-v8a/libsixteen.so stored ready"),
                 QStringLiteral("lib/x86_64/libfour.so stored not-ready"),
                 QStringLiteral("lib/x86_64/libsixteen.so stored ready")}
        << QStringLiteral("不兼容（1 个库）");
    QTest::newRow("every 64-bit library ready")
        << Texts{QStringLiteral("lib/x86_64/libsixteen.so=x86_64-16k"),
                 QStringLiteral("lib/arm64-v8a/libsixteen.so=arm64-16k"),
                 QStringLiteral("lib/x86/libfour.so=x86_64-4k")}
        << int(Compressed)
        << Texts{QStringLiteral("lib/arm64-v8a/libsixteen.so compressed ready"),
                 QStringLiteral("lib/x86/libfour.so compressed n/a"),
                 QStringLiteral("lib/x86_64/libsixteen.so compressed ready")}
        << QStringLiteral("兼容");
    QTest::newRow("32-bit only") << Texts{QStringLiteral("lib/armeabi-v7a/libfour.so=arm64-4k")}
                                 << int(StoredAnywhere)
                                 << Texts{QStringLiteral("lib/armeabi-v7a/libfour.so stored n/a")}
                                 << QStringLiteral("无 64 位原生库");
    QTest::newRow("cut short; names the installer passes over")
        << Texts{QStringLiteral("lib/x86_64/libcut.so=cut"),
                 QStringLiteral("lib/x86_64/sub/libsixteen.so=x86_64-16k"),
                 QStringLiteral("lib/libsixteen.so=x86_64-16k"),
                 QStringLiteral("lib/x86_64/libsixteen.so.1=x86_64-16k"),
                 QStringLiteral("assets/lib/x86_64/libsixteen.so=x86_64-16k")}
        << int(Compressed) << Texts{QStringLiteral("lib/x86_64/libcut.so compressed unreadable")}
        << QStringLiteral("不兼容（1 个库）");
}

void NativeLibraryTest::libraries()
{
    QFETCH(Texts, files);
    QFETCH(int, storage);
    const QString path = pack(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'),
                              files, Storage(storage));
    QVERIFY(!path.isEmpty());
    const SafeFile file(QFile::encodeName(path));
    const ZipArchive archive(file);

    // Where each entry's data starts, against zipalign's own check of the same file.
    const QString check = QString::fromUtf8(
        Run(QStringLiteral(SYSTEM_ZIPALIGN),
            {QStringLiteral("-c"), QStringLiteral("-v"), QStringLiteral("4"), path}));
    const QRegularExpression line(QStringLiteral("^ *(\\d+) (\\S+) \\((.*)\\)$"),
                                  QRegularExpression::MultilineOption);
    int entries = 0;
    for (const QRegularExpressionMatch &match : line.globalMatch(check)) {
        const std::optional<EntryPlacement> placement =
            archive.placement(match.captured(2).toUtf8());
        QVERIFY2(placement, qPrintable(match.captured(2)));
        QCOMPARE(placement->dataOffset, match.captured(1).toLongLong());
        QCOMPARE(placement->stored, !match.captured(3).contains(QStringLiteral("compressed")));
        ++entries;
    }
    QCOMPARE(entries, archive.entryNames().size());

    const std::optional<QList<NativeLibrary>> libraries = ReadNativeLibraries(archive);
    QVERIFY(libraries);
    Texts found;
    for (const NativeLibrary &library : *libraries) {
        found.append(
            QStringLiteral("%1 %2 %3")
                .arg(QString::fromUtf8(library.path),
                     library.stored ? QStringLiteral("stored") : QStringLiteral("compressed"),
                     ReadinessName(library.ready16k)));
        QCOMPARE(library.abi, library.path.split('/').at(1));
        const QString kind = files.filter(QString::fromUtf8(library.path + '=')).first();
        QCOMPARE(library.size, kinds.value(kind.section(u'=', 1)).size());
        QCOMPARE(Ready16k(library).has_value(), library.ready16k != PageReadiness::NotApplicable);
    }
    found.sort();
    QTEST(found, "found");

    PackageDetails details;
    details.fileChanged = false;
    details.nativeLibraries = libraries;
    const DetailsSection section = NativeLibrarySection(details);
    QCOMPARE(section.rows.size(), libraries->size() + 1);
    QCOMPARE(section.rows.last().label, QStringLiteral("16 KB 页面"));
    QTEST(section.rows.last().value, "summary");
}

void NativeLibraryTest::archiveNotOpen()
{
    const QString path = directory.filePath(QStringLiteral("random.apk"));
    QVERIFY(WriteFile(path, QByteArray(5000, '\x5a')));
    const SafeFile file(QFile::encodeName(path));
    QVERIFY(!ReadNativeLibraries(ZipArchive(file)));
}

QTEST_GUILESS_MAIN(NativeLibraryTest)
#include "NativeLibraryTest.moc"
