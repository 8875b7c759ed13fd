#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <tuple>
#include <utility>

// A whole file's bytes; empty when it cannot be read.
QByteArray ReadFile(const QString &path);
// Writes `bytes` as the whole of `path`, making its folder first.
bool WriteFile(const QString &path, const QByteArray &bytes);
// Bytes process `pid` ("self" for this one) has read so far, through any file; -1 when unknown.
qint64 BytesReadBy(const QString &pid);

// A package for the tests, built with the real aapt against the framework's resources.
struct TestPackage
{
    QString packageName;
    QString versionName; // null: the manifest has no versionName at all
    QString label;
    int minSdkVersion = 0; // 0: the manifest names none
    int versionCode = 7;
};

// What a package may carry beyond its name, version and label.
struct PackageContents
{
    QString chineseLabel;     // the label in values-zh-rCN; none when empty
    QString manifestElements; // XML placed in <manifest> before <application>
    QString icon;             // the application's icon attribute, e.g. "@mipmap/ic_launcher"
    QList<std::pair<QString, QByteArray>> resources; // path under res/ and bytes
    // Entries stored as they are after packaging, each replacing one of the same path, e.g.
    // native libraries ("lib/arm64-v8a/libx.so") or an icon the tool would not have packaged.
    QList<std::pair<QString, QByteArray>> storedEntries;
    QString manifestAttributes = {};  // on <manifest>, e.g. split="config.xxhdpi"
    QString applicationElements = {}; // XML placed in <application>, e.g. <meta-data .../>
    QString manifestTail = {};        // XML placed in <manifest> after <application>
    bool literalLabel = false;        // android:label holds the label itself, not @string/app_name
    // resources.arsc rewritten as Android 14's aapt2 writes it (WithCompactEntries)
    bool compactTable = false;
    // The binary manifest aapt wrote, rewritten before the package is finished (ManifestXml.h).
    std::function<QByteArray(const QByteArray &)> rewriteManifest = {};
    // Attributes on <application>, e.g. android:debuggable="true".
    QString applicationAttributes = {};
};

// Contents whose resource table Debian's aapt refuses whole ("ERROR: dump failed because the
// resource table is invalid/corrupt."), as Android 14's aapt2 writes such tables: compact entries
// with 16-bit offsets, and a zh-rCN translation of `chineseLabel` alone among twelve strings.
// Minimum SDK 21, target 34, and the permission android.permission.CAMERA.
PackageContents RefusedTableContents(const QString &chineseLabel);

// One of the two real packages from Android 14 and 15 toolchains in tests/data/compact-entries
// ("aapt2-compact-entries", "android15-rom-app"); unsigned.
QString CompactEntriesPackage(const char *name);

// Builds `package` into `directory`/`fileName` and returns the file's path (empty on failure).
QString BuildTestPackage(const QString &directory, const QString &fileName,
                         const TestPackage &package, const PackageContents &contents = {});

// Classes for smali to assemble: name, instance fields, static methods.
using DexClasses = QList<std::tuple<QByteArray, int, int>>;

// What a program run to its end printed, and its exit code; -1 when it did not start or crashed.
struct ProgramRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// Runs `program` in `directory` (the current one when empty) off any display the tests run
// under, so that neither it nor a Java program it is needs one.
ProgramRun RunProgram(const QString &program, const QStringList &arguments,
                      const QString &directory = {});

// Assembles `classes` with smali for API level `api` into `directory`/`name`.dex; its bytes,
// empty on failure.
QByteArray AssembleDex(const QString &directory, const QString &name, int api,
                       const DexClasses &classes);

// The bytes of entry `name` of a ZIP as aapt writes it (the sizes in each local header), stored
// or deflated; empty when there is no such entry.
QByteArray ZipEntryBytes(const QByteArray &zip, const QByteArray &name);

// Files as they will be inside a ZIP: the path inside and the bytes.
using ZipEntries = QList<std::pair<QString, QByteArray>>;

// Writes `entries` into a new ZIP at `path` with aapt, deflated and in order, or `stored`
// uncompressed as bundles keep their APKs. False on failure.
bool BuildTestZip(const QString &path, const ZipEntries &entries, bool stored = false);

// Adds to the ZIP at `path` (its end record without a comment, the last thing in it) a stored
// entry `name` of `size` zero bytes, left as a hole in the file (ftruncate), so that a package
// of gigabytes is made in a moment and takes no disk. False on failure.
bool AppendZeroEntry(const QString &path, const QByteArray &name, qint64 size);

// A key and self-signed certificate made with openssl, as apksigner takes them.
struct TestKey
{
    QString key;               // PKCS #8 DER
    QString certificate;       // PEM
    QString certificateSha256; // as openssl prints it: upper-case hex pairs joined by colons
};
TestKey MakeTestKey(const QString &directory, const QString &name);

// Signs `input` into `output` with apksigner: v1, v2 and v3, or the JAR signature alone
// (`jarOnly`), which apksigner puts on any ZIP. False on failure.
bool SignTestPackage(const QString &input, const QString &output, const TestKey &key,
                     bool jarOnly = false);

// Starts tests/MappingWriter.cpp with `arguments` ("hold FILE OFFSET FIRST SECOND", "later FILE")
// and waits until it has mapped its file. False when it did not.
bool StartMappingWriter(QProcess &writer, const QStringList &arguments);

// Where the UTF-16 text `label` lies in the package at `path`, as its resource table holds it;
// -1 when it is not there once.
qint64 LabelOffset(const QString &path, const QString &label);

// Whether this process is a copy started by RunCopyBesideTool.
bool RunningInCopy();

// Copies this test executable into a fresh directory, whose name holds blanks, quotes and "$(",
// with an "aapt" there that links to `tool` (no aapt at all when `tool` is empty), and runs
// `testFunction` in that copy, started through a symlink from another directory when
// `throughLink` is set. Returns the copy's exit code.
int RunCopyBesideTool(const QString &tool, const QString &testFunction,
                      const QString &toolMode = {}, bool throughLink = false);
