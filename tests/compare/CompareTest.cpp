// `pelmora --compare` as a script runs it: packages built with aapt and signed with apksigner
// (keys rotated with `apksigner rotate`), judged by the program's output and exit status and held
// against `apksigner verify --print-certs` and the names and version codes they were built with.
#include "HostilePackages.h"
#include "ManifestXml.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What apksigner makes of a package: whether it verifies, and its signer's certificate SHA-256.
struct ApksignerView
{
    bool verifies = false;
    QString signerSha256;
};

ApksignerView Apksigner(const QString &path)
{
    const ProgramRun run =
        RunProgram(QStringLiteral(SYSTEM_APKSIGNER),
                   {QStringLiteral("verify"), QStringLiteral("--print-certs"), path});
    static const QRegularExpression Digest(
        QStringLiteral("Signer #1 certificate SHA-256 digest: ([0-9a-f]{64})"));
    return {run.exitCode == 0, Digest.match(QString::fromLatin1(run.out)).captured(1)};
}

const QString Package = QStringLiteral("org.pelmora.compare");

} // namespace

class CompareTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compare_data();
    void compare();

private:
    QString path(const QString &name) const { return directory.filePath(name); }
    // Builds a package as `name`.unsigned; returns its path.
    QString build(const QString &name, const TestPackage &package,
                  const PackageContents &contents = {});
    // Signs with `key`, or after rotating to `next` through `lineage`.
    void sign(const QString &input, const QString &name, const TestKey &key,
              const QString &lineage = {}, const TestKey &next = {});
    // `apksigner rotate` from `old` to `next`, the old signer's capabilities set by `options`.
    QString rotate(const QString &name, const TestKey &old, const TestKey &next,
                   const QStringList &options);
    // The comparison's sizeChanges, against both records and the files' own entries.
    void checkSizeChanges(const QJsonObject &result, const QString &before, const QString &after);

    // What each file was built as: the package name, the version code, and the APK apksigner
    // judges it by (a bundle's base).
    struct Built
    {
        QString packageName;
        int versionCode = 0;
        QString apk;
    };
    QTemporaryDir directory;
    QHash<QString, Built> built;
};

QString CompareTest::build(const QString &name, const TestPackage &package,
                           const PackageContents &contents)
{
    const QString unsignedPath =
        BuildTestPackage(directory.path(), name + QStringLiteral(".unsigned"), package, contents);
    built.insert(name, {package.packageName, package.versionCode, name});
    return unsignedPath;
}

void CompareTest::sign(const QString &input, const QString &name, const TestKey &key,
                       const QString &lineage, const TestKey &next)
{
    QVERIFY(!input.isEmpty());
    const Built &unsignedBuild = built[QFileInfo(input).completeBaseName()];
    built.insert(name, {unsignedBuild.packageName, unsignedBuild.versionCode, name});
    if (lineage.isEmpty()) {
        QVERIFY(SignTestPackage(input, path(name), key));
        return;
    }
    const ProgramRun run = RunProgram(
        QStringLiteral(SYSTEM_APKSIGNER),
        {QStringLiteral("sign"), QStringLiteral("--lineage"), lineage, QStringLiteral("--key"),
         key.key, QStringLiteral("--cert"), key.certificate, QStringLiteral("--next-signer"),
         QStringLiteral("--key"), next.key, QStringLiteral("--cert"), next.certificate,
         QStringLiteral("--out"), path(name), input});
    QVERIFY2(run.exitCode == 0, run.err.constData());
}

QString CompareTest::rotate(const QString &name, const TestKey &old, const TestKey &next,
                            const QStringList &options)
{
    const ProgramRun run =
        RunProgram(QStringLiteral(SYSTEM_APKSIGNER),
                   QStringList{QStringLiteral("rotate"), QStringLiteral("--out"), path(name),
                               QStringLiteral("--old-signer"), QStringLiteral("--key"), old.key,
                               QStringLiteral("--cert"), old.certificate} +
                       options +
                       QStringList{QStringLiteral("--new-signer"), QStringLiteral("--key"),
                                   next.key, QStringLiteral("--cert"), next.certificate});
    return run.exitCode == 0 ? path(name) : QString();
}

void CompareTest::initTestCase()
{
    QVERIFY(directory.isValid());
    const TestKey first = MakeTestKey(directory.path(), QStringLiteral("first"));
    const TestKey other = MakeTestKey(directory.path(), QStringLiteral("other"));
    const TestKey next = MakeTestKey(directory.path(), QStringLiteral("next"));
    const QString granted = rotate(QStringLiteral("granted.lineage"), first, next, {});
    const QString withheld =
        rotate(QStringLiteral("withheld.lineage"), first, next,
               {QStringLiteral("--set-installed-data"), QStringLiteral("false")});
    const QString rollback = rotate(QStringLiteral("rollback.lineage"), first, next,
                                    {QStringLiteral("--set-rollback"), QStringLiteral("true")});
    QVERIFY(!granted.isEmpty() && !withheld.isEmpty() && !rollback.isEmpty());

    const auto version = [](int code, int minSdk = 21) {
        return TestPackage{Package, QStringLiteral("v%1").arg(code), QStringLiteral("比较"), minSdk,
                           code};
    };
    sign(build(QStringLiteral("old.apk"), version(7)), QStringLiteral("old.apk"), first);
    sign(build(QStringLiteral("same.apk"), version(7)), QStringLiteral("same.apk"), first);
    sign(build(QStringLiteral("lower.apk"), version(6)), QStringLiteral("lower.apk"), first);
    // A later version that asks for more: a permission, a higher minimum SDK.
    PackageContents more;
    more.manifestElements =
        QStringLiteral("<uses-permission android:name='android.permission.CAMERA'/>");
    const QString higher = build(QStringLiteral("higher.apk"), version(8, 24), more);
    sign(higher, QStringLiteral("higher.apk"), first);
    sign(higher, QStringLiteral("other-key.apk"), other);
    sign(higher, QStringLiteral("rotated.apk"), first, granted, next);
    sign(higher, QStringLiteral("withheld.apk"), first, withheld, next);
    sign(higher, QStringLiteral("rollback-granted.apk"), first, rollback, next);
    // Signed by the key rotated away from again, a version later.
    sign(build(QStringLiteral("back.apk"), version(9)), QStringLiteral("back.apk"), first);
    sign(build(QStringLiteral("other-name.apk"),
               {QStringLiteral("org.pelmora.other"), QStringLiteral("v8"), QStringLiteral("比较"),
                21, 8}),
         QStringLiteral("other-name.apk"), first);
    // Version 1 of a major version 1 is higher than 7 of major version 0.
    PackageContents major;
    major.manifestAttributes = QStringLiteral("android:versionCodeMajor='1'");
    sign(build(QStringLiteral("major.apk"), version(1), major), QStringLiteral("major.apk"), first);
    // Version codes as Android reads them: by resource id, a reference through the resource
    // table; and an update, before it is parsed, by name as well.
    PackageContents codeWrongId;
    codeWrongId.rewriteManifest = [](const QByteArray &xml) {
        return WithAttributeId(xml, QStringLiteral("versionCode"), UnknownAttributeId);
    };
    sign(build(QStringLiteral("code-wrong-id.apk"), version(8), codeWrongId),
         QStringLiteral("code-wrong-id.apk"), first);
    built[QStringLiteral("code-wrong-id.apk")].versionCode = 0;
    PackageContents majorWrongId = major;
    majorWrongId.rewriteManifest = [](const QByteArray &xml) {
        return WithAttributeId(xml, QStringLiteral("versionCodeMajor"), UnknownAttributeId);
    };
    sign(build(QStringLiteral("major-wrong-id.apk"), version(1), majorWrongId),
         QStringLiteral("major-wrong-id.apk"), first);
    PackageContents majorReference;
    majorReference.manifestAttributes = QStringLiteral("android:versionCodeMajor='@integer/major'");
    majorReference.resources = {{QStringLiteral("values/major.xml"),
                                 "<resources><integer name='major'>1</integer></resources>"}};
    sign(build(QStringLiteral("major-reference.apk"), version(7), majorReference),
         QStringLiteral("major-reference.apk"), first);
    PackageContents majorString;
    majorString.manifestAttributes = QStringLiteral("android:versionCodeMajor='@string/app_name'");
    sign(build(QStringLiteral("major-string.apk"), version(8), majorString),
         QStringLiteral("major-string.apk"), first);
    // versionCode 5 and revisionCode 9, their resource ids swapped: 9 by id, 5 by name.
    PackageContents swapped;
    swapped.manifestAttributes = QStringLiteral("android:revisionCode='9'");
    swapped.rewriteManifest = [](const QByteArray &xml) {
        return WithAttributeId(WithAttributeId(xml, QStringLiteral("versionCode"), 0x010104d5),
                               QStringLiteral("revisionCode"), 0x0101021b);
    };
    sign(build(QStringLiteral("code-swapped.apk"), version(5), swapped),
         QStringLiteral("code-swapped.apk"), first);
    built[QStringLiteral("code-swapped.apk")].versionCode = 9;
    PackageContents sharedUser;
    sharedUser.manifestAttributes = QStringLiteral("android:sharedUserId='org.pelmora.shared'");
    sign(build(QStringLiteral("shared-user.apk"), version(8), sharedUser),
         QStringLiteral("shared-user.apk"), first);

    // The v2 and v3 signers' public keys no longer their certificates'.
    const QByteArray tampered = WithBlockPairs(ReadFile(path(QStringLiteral("higher.apk"))),
                                               [](quint32 id, QByteArray value) {
                                                   if (id == 0x7109871a || id == 0xf05368c0)
                                                       value.back() = char(value.back() ^ 1);
                                                   return BlockPair(id, value);
                                               });
    QVERIFY(WriteFile(path(QStringLiteral("tampered.apk")), tampered));
    built.insert(
        QStringLiteral("tampered.apk"),
        {Package, built[QStringLiteral("higher.apk")].versionCode, QStringLiteral("tampered.apk")});

    // A flat .apks of the later version: its base and a density split, both signed by the key.
    PackageContents split;
    split.manifestAttributes = QStringLiteral("split='config.xxhdpi'");
    sign(build(QStringLiteral("split.apk"), version(8, 24), split), QStringLiteral("split.apk"),
         first);
    QVERIFY(BuildTestZip(
        path(QStringLiteral("bundle.apks")),
        {{QStringLiteral("base.apk"), ReadFile(path(QStringLiteral("higher.apk")))},
         {QStringLiteral("split_config.xxhdpi.apk"), ReadFile(path(QStringLiteral("split.apk")))}},
        true));
    built.insert(QStringLiteral("bundle.apks"), built[QStringLiteral("higher.apk")]);
    QVERIFY(WriteFile(path(QStringLiteral("damaged.apk")), QByteArray(3000, 'z')));
    // A later version with an asset more, incompressible.
    QByteArray noise(40000, Qt::Uninitialized);
    QRandomGenerator(29).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    PackageContents grown;
    grown.storedEntries = {{QStringLiteral("assets/grown.bin"), noise}};
    sign(build(QStringLiteral("grown.apk"), version(8), grown), QStringLiteral("grown.apk"), first);
}

void CompareTest::compare_data()
{
    QTest::addColumn<QStringList>("arguments"); // after "--compare"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("codes"); // of the reasons, in order
    QTest::addColumn<QString>("verdict"); // the first reason's text, or the text form's first line
    QTest::addColumn<QJsonObject>("changes"); // keys of "changes" that must hold these values

    const QString json = QStringLiteral("--json");
    const auto pair = [&](const char *before, const char *after) {
        return QStringList{json, QLatin1String(before), QLatin1String(after)};
    };
    const QString updatable = QStringLiteral("可以作为更新安装");
    const QString signerDiffers = QStringLiteral("signerDiffers");
    const QString rotationNotPermitted = QStringLiteral("rotationNotPermitted");
    QTest::newRow("same key, higher version")
        << pair("old.apk", "higher.apk") << 0 << QStringList() << updatable
        << QJsonObject{{QStringLiteral("permissionsAdded"),
                        QJsonArray{QStringLiteral("android.permission.CAMERA")}},
                       {QStringLiteral("permissionsRemoved"), QJsonArray()},
                       {QStringLiteral("minSdk"),
                        QJsonObject{{QStringLiteral("old"), 21}, {QStringLiteral("new"), 24}}},
                       {QStringLiteral("targetSdk"), QJsonValue()}};
    QTest::newRow("same version: a reinstall")
        << pair("old.apk", "same.apk") << 0 << QStringList() << updatable
        << QJsonObject{{QStringLiteral("minSdk"), QJsonValue()}};
    QTest::newRow("lower version")
        << pair("old.apk", "lower.apk") << 1 << QStringList{QStringLiteral("versionDowngrade")}
        << QStringLiteral("版本降级（7 → 6）") << QJsonObject();
    QTest::newRow("lower version that drops a permission")
        << pair("higher.apk", "old.apk") << 1 << QStringList{QStringLiteral("versionDowngrade")}
        << QStringLiteral("版本降级（8 → 7）")
        << QJsonObject{{QStringLiteral("permissionsAdded"), QJsonArray()},
                       {QStringLiteral("permissionsRemoved"),
                        QJsonArray{QStringLiteral("android.permission.CAMERA")}}};
    QTest::newRow("higher versionCodeMajor, lower versionCode")
        << pair("old.apk", "major.apk") << 0 << QStringList() << updatable << QJsonObject();
    const QString downgrade = QStringLiteral("versionDowngrade");
    QTest::newRow("new versionCode with a wrong resource id")
        << pair("old.apk", "code-wrong-id.apk") << 1 << QStringList{downgrade}
        << QStringLiteral("版本降级（7 → 0）") << QJsonObject();
    QTest::newRow("new versionCodeMajor with a wrong resource id")
        << pair("old.apk", "major-wrong-id.apk") << 1 << QStringList{downgrade}
        << QStringLiteral("版本降级（7 → 1）") << QJsonObject();
    QTest::newRow("old versionCodeMajor a resource reference")
        << pair("major-reference.apk", "higher.apk") << 1 << QStringList{downgrade}
        << QStringLiteral("版本降级（4294967303 → 8）") << QJsonObject();
    QTest::newRow("new versionCodeMajor a string resource")
        << pair("old.apk", "major-string.apk") << 1
        << QStringList{QStringLiteral("versionUnreadable")}
        << QStringLiteral("新包版本代码无法解析") << QJsonObject();
    QTest::newRow("new versionCode lower by name than by resource id")
        << pair("old.apk", "code-swapped.apk") << 1 << QStringList{downgrade}
        << QStringLiteral("版本降级（7 → 5）") << QJsonObject();
    QTest::newRow("another key") << pair("old.apk", "other-key.apk") << 1
                                 << QStringList{signerDiffers} << QString() << QJsonObject();
    QTest::newRow("rotated key, the old signer may be replaced")
        << pair("old.apk", "rotated.apk") << 0 << QStringList() << updatable << QJsonObject();
    QTest::newRow("rotated key, the lineage withholds it")
        << pair("old.apk", "withheld.apk") << 1 << QStringList{rotationNotPermitted}
        << QStringLiteral("签名者已轮换，旧签名者未授权") << QJsonObject();
    QTest::newRow("back to the key rotated away from, no rollback granted")
        << pair("rotated.apk", "back.apk") << 1 << QStringList{rotationNotPermitted}
        << QStringLiteral("签名者已轮换，旧签名者未授权") << QJsonObject();
    QTest::newRow("back to the key rotated away from, rollback granted")
        << pair("rollback-granted.apk", "back.apk") << 0 << QStringList() << updatable
        << QJsonObject();
    QTest::newRow("another package name")
        << pair("old.apk", "other-name.apk") << 1 << QStringList{QStringLiteral("packageDiffers")}
        << QStringLiteral("包名不同") << QJsonObject();
    QTest::newRow("the new package's signature fails")
        << pair("old.apk", "tampered.apk") << 1 << QStringList{QStringLiteral("signatureFailed")}
        << QStringLiteral("新包签名校验失败") << QJsonObject();
    QTest::newRow("joins a shared user")
        << pair("old.apk", "shared-user.apk") << 1
        << QStringList{QStringLiteral("sharedUserChanged")}
        << QStringLiteral("共享用户 ID 不同（无 → org.pelmora.shared）")
        << QJsonObject{
               {QStringLiteral("sharedUserId"),
                QJsonObject{{QStringLiteral("old"), QJsonValue()},
                            {QStringLiteral("new"), QStringLiteral("org.pelmora.shared")}}}};
    QTest::newRow("a bundle over a plain APK of the same app")
        << pair("old.apk", "bundle.apks") << 0 << QStringList() << updatable << QJsonObject();
    QTest::newRow("an asset more: the sizes by category and the entries that changed most")
        << pair("old.apk", "grown.apk") << 0 << QStringList() << updatable << QJsonObject();
    QTest::newRow("a new package that is no package")
        << pair("old.apk", "damaged.apk") << 1 << QStringList{QStringLiteral("packageUnreadable")}
        << QStringLiteral("新包无法读取：apk类型已经损坏") << QJsonObject();
    QTest::newRow("text form") << QStringList{QStringLiteral("old.apk"),
                                              QStringLiteral("lower.apk")}
                               << 1 << QStringList() << QStringLiteral("结论: 版本降级（7 → 6）")
                               << QJsonObject();
    QTest::newRow("one file") << QStringList{json, QStringLiteral("old.apk")} << 2 << QStringList()
                              << QString() << QJsonObject();
    QTest::newRow("with a report option")
        << QStringList{QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("old.apk"),
                       QStringLiteral("higher.apk")}
        << 2 << QStringList() << QString() << QJsonObject();
}

void CompareTest::compare()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, verdict);
    const ProgramRun run =
        RunProgram(QStringLiteral(PELMORA_PROGRAM),
                   QStringList{QStringLiteral("--compare")} + arguments, directory.path());
    QTEST(run.exitCode, "exitCode");
    if (run.exitCode == 2) {
        // One line in Chinese on standard error, nothing on standard output.
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("pelmora：") && run.err.count('\n') == 1, run.err.constData());
        return;
    }
    if (!arguments.contains(QStringLiteral("--json"))) {
        QCOMPARE(QString::fromUtf8(run.out.split('\n').first()), verdict);
        return;
    }

    QJsonParseError error;
    const QJsonObject result = QJsonDocument::fromJson(run.out, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError && run.out.count('\n') == 1,
             run.out.constData());
    QCOMPARE(result.value(QStringLiteral("updatable")).toBool(), run.exitCode == 0);
    QStringList codes;
    QStringList texts;
    for (const QJsonValue &reason : result.value(QStringLiteral("reasons")).toArray()) {
        codes.append(reason[QStringLiteral("code")].toString());
        texts.append(reason[QStringLiteral("text")].toString());
    }
    QTEST(codes, "codes");
    if (!verdict.isEmpty())
        QCOMPARE(texts.value(0, QStringLiteral("可以作为更新安装")), verdict);

    // Each record names the package, version code and signer it was built and signed with.
    const QString files[] = {arguments[1], arguments[2]};
    const QString sides[] = {QStringLiteral("old"), QStringLiteral("new")};
    QStringList signers;
    bool apksignerRefuses = false;
    for (int side = 0; side < 2; ++side) {
        const QJsonObject record = result.value(sides[side]).toObject();
        if (record.value(QStringLiteral("outcome")).toString() != QStringLiteral("ok"))
            continue;
        const Built made = built.value(files[side]);
        QCOMPARE(record.value(QStringLiteral("package")).toString(), made.packageName);
        QCOMPARE(record.value(QStringLiteral("versionCode")).toInt(), made.versionCode);
        const QJsonArray recordSigners =
            record.value(QStringLiteral("signature"))[QStringLiteral("signers")].toArray();
        const ApksignerView view = Apksigner(directory.filePath(made.apk));
        apksignerRefuses = apksignerRefuses || !view.verifies;
        signers.append(view.signerSha256);
        QVERIFY(!recordSigners.isEmpty());
        // apksigner names no signer of a package it refuses.
        if (view.verifies)
            QCOMPARE(recordSigners.last()[QStringLiteral("certSha256")].toString(),
                     view.signerSha256);
    }
    if (signers.size() == 2) {
        QCOMPARE(codes.contains(QStringLiteral("signatureFailed")), apksignerRefuses);
        // Other signers are named by both certificates, as apksigner prints them.
        const qsizetype differs = codes.indexOf(QStringLiteral("signerDiffers"));
        if (differs >= 0)
            QCOMPARE(texts[differs],
                     QStringLiteral("签名者不同（旧：%1；新：%2）").arg(signers[0], signers[1]));
    }

    QFETCH(QJsonObject, changes);
    const QJsonObject found = result.value(QStringLiteral("changes")).toObject();
    for (auto expected = changes.begin(); expected != changes.end(); ++expected)
        QCOMPARE(found.value(expected.key()), expected.value());
    checkSizeChanges(result, files[0], files[1]);
}

void CompareTest::checkSizeChanges(const QJsonObject &result, const QString &before,
                                   const QString &after)
{
    const QJsonValue sizeChanges = result.value(QStringLiteral("sizeChanges"));
    const QJsonObject records[] = {result.value(QStringLiteral("old")).toObject(),
                                   result.value(QStringLiteral("new")).toObject()};
    if (records[0].value(QStringLiteral("outcome")) != QStringLiteral("ok") ||
        records[1].value(QStringLiteral("outcome")) != QStringLiteral("ok")) {
        QVERIFY(sizeChanges.isNull());
        return;
    }
    // Each category's old and new as each package's record has them.
    const QJsonObject byCategory = sizeChanges[QStringLiteral("byCategory")].toObject();
    QCOMPARE(byCategory.size(), 7);
    for (auto category = byCategory.begin(); category != byCategory.end(); ++category) {
        const QJsonObject change = category.value().toObject();
        for (int side = 0; side < 2; ++side)
            QCOMPARE(change.value(side == 0 ? QStringLiteral("old") : QStringLiteral("new")),
                     records[side][QStringLiteral("sizes")][QStringLiteral("byCategory")]
                            [category.key()][QStringLiteral("stored")]);
        QCOMPARE(change.value(QStringLiteral("change")).toInteger(),
                 change.value(QStringLiteral("new")).toInteger() -
                     change.value(QStringLiteral("old")).toInteger());
    }
    // A bundle's sizes are its base's, not those of the file Python would read.
    if (!before.endsWith(QStringLiteral(".apk")) || !after.endsWith(QStringLiteral(".apk")))
        return;
    // The entries, against the stored sizes Python's zipfile reads (0 where one has none): the
    // largest changes, at most ten, none left out larger than the last one listed.
    QHash<QString, qint64> stored[2];
    for (int side = 0; side < 2; ++side) {
        const ProgramRun run =
            RunProgram(QStandardPaths::findExecutable(QStringLiteral("python3")),
                       {QStringLiteral("-c"),
                        QStringLiteral("import json, sys, zipfile\n"
                                       "print(json.dumps({i.filename: i.compress_size "
                                       "for i in zipfile.ZipFile(sys.argv[1]).infolist()}))"),
                        path(side == 0 ? before : after)});
        const QJsonObject sizes = QJsonDocument::fromJson(run.out).object();
        QVERIFY(!sizes.isEmpty());
        for (auto entry = sizes.begin(); entry != sizes.end(); ++entry)
            stored[side].insert(entry.key(), entry.value().toInteger());
    }
    const QJsonArray entries = sizeChanges[QStringLiteral("entries")].toArray();
    QVERIFY(entries.size() <= 10);
    QSet<QString> listed;
    qint64 smallest = std::numeric_limits<qint64>::max();
    for (const QJsonValue &entry : entries) {
        const QString name = entry[QStringLiteral("name")].toString();
        QCOMPARE(entry[QStringLiteral("old")].toInteger(), stored[0].value(name));
        QCOMPARE(entry[QStringLiteral("new")].toInteger(), stored[1].value(name));
        const qint64 change = qAbs(stored[1].value(name) - stored[0].value(name));
        QVERIFY2(change > 0 && change <= smallest, qPrintable(name));
        smallest = change;
        listed.insert(name);
    }
    for (const QHash<QString, qint64> &side : stored)
        for (auto entry = side.begin(); entry != side.end(); ++entry)
            if (!listed.contains(entry.key()))
                QVERIFY2(qAbs(stored[1].value(entry.key()) - stored[0].value(entry.key())) <=
                             (entries.size() < 10 ? 0 : smallest),
                         qPrintable(entry.key()));
    if (after.endsWith(QStringLiteral("grown.apk")))
        QCOMPARE(entries.first()[QStringLiteral("name")].toString(),
                 QStringLiteral("assets/grown.bin"));
}

QTEST_GUILESS_MAIN(CompareTest)

#include "CompareTest.moc"
