// Bundles built at test time from packages made by aapt and signed by apksigner: which base is
// found in each layout, and what the details window says about them; and inner APKs read two at
// a time drawing on a bundle's budget as one after another would.
#include "TestSupport.h"
#include "archive/ZipArchive.h"
#include "bundle/OpenBundleBase.h"
#include "bundle/ReadInTurns.h"
#include "details/FailureText.h"
#include "details/PackageDetails.h"
#include "digest/SafeFile.h"
#include "formats/module/ApkSetToc.pb.h"
#include "inspect/ToolCapture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

const QString Package = QStringLiteral("org.example.bundle");
const QStringList Configs = {QStringLiteral("arm64_v8a"), QStringLiteral("xxhdpi"),
                             QStringLiteral("zh")};

QByteArray Json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

// bundletool's index for a base and one split per configuration.
QByteArray Toc(const QString &packageName)
{
    pelmora::apkset::BuildApksResult toc;
    toc.set_package_name(packageName.toStdString());
    pelmora::apkset::ApkSet *set = toc.add_variant()->add_apk_set();
    set->mutable_module_metadata()->set_name("base");
    pelmora::apkset::ApkDescription *master = set->add_apk_description();
    master->set_path("splits/base-master.apk");
    master->mutable_split_apk_metadata()->set_is_master_split(true);
    for (const QString &config : Configs) {
        pelmora::apkset::ApkDescription *split = set->add_apk_description();
        split->set_path("splits/base-" + config.toStdString() + ".apk");
        split->mutable_split_apk_metadata()->set_split_id("config." + config.toStdString());
    }
    return QByteArray::fromStdString(toc.SerializeAsString());
}

// Changes one byte inside the data of the archive's first entry.
QByteArray ChangeFirstEntry(QByteArray zip)
{
    // The local header: 30 bytes, then the name and the extra field, whose lengths it holds.
    const auto u16 = [&](qsizetype at) { return quint8(zip.at(at)) | quint8(zip.at(at + 1)) << 8; };
    const qsizetype data = 30 + u16(26) + u16(28);
    zip[data + 200] = char(zip[data + 200] ^ 0x20);
    return zip;
}

} // namespace

class BundleTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openBase_data();
    void openBase();
    void details_data();
    void details();
    void readInTurns_data();
    void readInTurns();

private:
    QString path(const QString &name) const { return directory.filePath(name); }
    void buildContainers();
    // A signed single package whose compiled manifest `patch` changed before signing.
    QString patchedPackage(const QString &name, PackageContents contents,
                           const std::function<QByteArray(const QByteArray &)> &patch);
    // Zips `entries` as `name`, stored rather than deflated and JAR-signed when asked.
    void addContainer(const QString &name, const ZipEntries &entries, bool jarSign = false,
                      bool stored = false);

    QTemporaryDir directory;
    TestKey key;
    QMap<QString, QByteArray> apks; // the base ("") and its splits, signed, by configuration
    QByteArray otherKeyAbiSplit;    // the ABI split signed by another key
    QMap<QString, QString> containers;
};

void BundleTest::addContainer(const QString &name, const ZipEntries &entries, bool jarSign,
                              bool stored)
{
    const QString unsignedZip = path(name + QStringLiteral(".unsigned"));
    if (BuildTestZip(jarSign ? unsignedZip : path(name), entries, stored) &&
        (!jarSign || SignTestPackage(unsignedZip, path(name), key, true)))
        containers.insert(name, path(name));
}

void BundleTest::initTestCase()
{
    QVERIFY(directory.isValid());
    key = MakeTestKey(directory.path(), QStringLiteral("bundle"));
    const TestKey other = MakeTestKey(directory.path(), QStringLiteral("other"));
    const TestPackage package{Package, QStringLiteral("3.1"), QStringLiteral("Bundle"), 21};
    PackageContents base;
    base.applicationElements = QStringLiteral(
        "<meta-data android:name='com.android.vending.splits.required' android:value='true'/>");
    QStringList names = {QString()};
    QList<PackageContents> contents = {base};
    for (const QString &config : Configs) {
        PackageContents split;
        split.manifestAttributes = QStringLiteral("split='config.%1'").arg(config);
        if (config == QLatin1String("arm64_v8a"))
            split.storedEntries = {{QStringLiteral("lib/arm64-v8a/libx.so"), "x"}};
        names.append(config);
        contents.append(split);
    }
    PackageContents feature;
    feature.manifestAttributes = QStringLiteral("split='camera' android:isFeatureSplit='true'");
    names.append(QStringLiteral("camera"));
    contents.append(feature);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString built =
            BuildTestPackage(directory.path(), QStringLiteral("built.apk"), package, contents[i]);
        const QString signedApk = path(QStringLiteral("signed.apk"));
        QVERIFY(!built.isEmpty() && SignTestPackage(built, signedApk, key));
        apks.insert(names[i], ReadFile(signedApk));
        if (names[i] == QLatin1String("arm64_v8a")) {
            QVERIFY(SignTestPackage(built, signedApk, other));
            otherKeyAbiSplit = ReadFile(signedApk);
        }
    }
    buildContainers();
}

void BundleTest::buildContainers()
{
    const QByteArray base = apks.value(QString());
    const auto splits = [&](const QString &prefix, const QByteArray &abiSplit = {}) {
        ZipEntries entries;
        for (const QString &config : Configs)
            entries.append({prefix.arg(config), config == Configs.first() && !abiSplit.isEmpty()
                                                    ? abiSplit
                                                    : apks.value(config)});
        return entries;
    };
    const QJsonObject xapk = {
        {QStringLiteral("xapk_version"), 2},
        {QStringLiteral("package_name"), Package},
        {QStringLiteral("version_code"), QStringLiteral("7")},
        {QStringLiteral("version_name"), QStringLiteral("3.1")},
        {QStringLiteral("split_apks"),
         QJsonArray{QJsonObject{{QStringLiteral("file"), Package + QStringLiteral(".apk")},
                                {QStringLiteral("id"), QStringLiteral("base")}}}}};
    QJsonObject misleading = xapk;
    misleading[QStringLiteral("version_name")] = QStringLiteral("9.9");
    misleading[QStringLiteral("split_apks")] =
        QJsonArray{QJsonObject{{QStringLiteral("file"), QStringLiteral("config.zh.apk")},
                               {QStringLiteral("id"), QStringLiteral("base")}}};
    const ZipEntries meta = {
        {QStringLiteral("meta.sai_v2.json"),
         Json({{QStringLiteral("package"), Package}, {QStringLiteral("version_code"), 7}})}};
    const ZipEntries flat = ZipEntries{{QStringLiteral("base.apk"), base}} +
                            splits(QStringLiteral("split_config.%1.apk")) + meta;

    QVERIFY(WriteFile(path(QStringLiteral("base.apk")), base));
    containers.insert(QStringLiteral("plain"), path(QStringLiteral("base.apk")));
    addContainer(QStringLiteral("set.apks"),
                 ZipEntries{{QStringLiteral("toc.pb"), Toc(Package)},
                            {QStringLiteral("splits/base-master.apk"), base},
                            {QStringLiteral("splits/camera-master.apk"),
                             apks.value(QStringLiteral("camera"))}} +
                     splits(QStringLiteral("splits/base-%1.apk")));
    addContainer(QStringLiteral("flat.apks"), ZipEntries(flat.rbegin(), flat.rend()));
    addContainer(QStringLiteral("stored.apks"), flat, false, true);
    addContainer(QStringLiteral("app.xapk"),
                 ZipEntries{{QStringLiteral("manifest.json"), Json(xapk)},
                            {Package + QStringLiteral(".apk"), base},
                            {QStringLiteral("Android/obb/%1/main.7.%1.obb").arg(Package),
                             QByteArray(70000, 'o')}} +
                     splits(QStringLiteral("config.%1.apk")));
    addContainer(QStringLiteral("misleading.xapk"),
                 ZipEntries{{QStringLiteral("manifest.json"), Json(misleading)},
                            {QStringLiteral("app.apk"), base}} +
                     splits(QStringLiteral("config.%1.apk")));
    addContainer(
        QStringLiteral("app.apkm"),
        ZipEntries{{QStringLiteral("info.json"), Json({{QStringLiteral("pname"), Package}})},
                   {QStringLiteral("base.apk"), base}} +
            splits(QStringLiteral("split_config.%1.apk")),
        true);
    addContainer(QStringLiteral("nobase.apks"), splits(QStringLiteral("split_config.%1.apk")));
    addContainer(QStringLiteral("changed.apks"), flat);
    const QString changed = containers.value(QStringLiteral("changed.apks"));
    QVERIFY(WriteFile(changed, ChangeFirstEntry(ReadFile(changed))));
    // Stored, its ABI split changed where it lies, so that it no longer matches its checksum.
    addContainer(QStringLiteral("storedchanged.apks"), flat, false, true);
    const QString storedChanged = containers.value(QStringLiteral("storedchanged.apks"));
    QByteArray storedBytes = ReadFile(storedChanged);
    const QByteArray &abiSplit = apks.value(Configs.first());
    const qsizetype abiMiddle = storedBytes.indexOf(abiSplit) + abiSplit.size() / 2;
    QVERIFY(abiMiddle > abiSplit.size() / 2);
    storedBytes[abiMiddle] = char(storedBytes[abiMiddle] ^ 1);
    QVERIFY(WriteFile(storedChanged, storedBytes));
    addContainer(QStringLiteral("otherkey.apks"),
                 ZipEntries{{QStringLiteral("base.apk"), base}} +
                     splits(QStringLiteral("split_config.%1.apk"), otherKeyAbiSplit));
    QByteArray damagedBase = base;
    damagedBase[damagedBase.size() / 2] = char(damagedBase[damagedBase.size() / 2] ^ 1);
    addContainer(QStringLiteral("damagedbase.apks"),
                 ZipEntries{{QStringLiteral("base.apk"), damagedBase}} +
                     splits(QStringLiteral("split_config.%1.apk")));
    // Descriptions past their limits, each beside a sound base.
    const ZipEntries withBase = {{QStringLiteral("splits/base-master.apk"), base}};
    addContainer(QStringLiteral("large-toc.apks"),
                 ZipEntries{{QStringLiteral("toc.pb"), Toc(Package) + QByteArray(5 << 20, '\0')}} +
                     withBase);
    addContainer(
        QStringLiteral("empty-messages.apks"),
        ZipEntries{{QStringLiteral("toc.pb"), QByteArray("\x0a\x00", 2).repeated(1'000'000)}} +
            withBase);
    addContainer(
        QStringLiteral("many-values.apkm"),
        ZipEntries{{QStringLiteral("info.json"), "[" + QByteArray("0,").repeated(1'000'000) + "0]"},
                   {QStringLiteral("base.apk"), base}});
    // Inner APKs each JAR-signed over 128 MiB of zeros, which one of them may inflate but not
    // all of them together.
    const TestPackage zeros{Package, QStringLiteral("3.1"), QStringLiteral("Bundle"), 21};
    PackageContents zeroEntry;
    zeroEntry.storedEntries = {{QStringLiteral("assets/zeros.bin"), QByteArray(128 << 20, '\0')}};
    const QString built =
        BuildTestPackage(directory.path(), QStringLiteral("zeros.apk"), zeros, zeroEntry);
    const QString signedZeros = path(QStringLiteral("zeros-signed.apk"));
    QVERIFY(!built.isEmpty() && SignTestPackage(built, signedZeros, key, true));
    const QByteArray zeroApk = ReadFile(signedZeros);
    addContainer(QStringLiteral("inflating.apks"), {{QStringLiteral("base.apk"), zeroApk},
                                                    {QStringLiteral("split_a.apk"), zeroApk},
                                                    {QStringLiteral("split_b.apk"), zeroApk}});
    QVERIFY(WriteFile(path(QStringLiteral("text.apks")), "not a zip at all"));
    containers.insert(QStringLiteral("text.apks"), path(QStringLiteral("text.apks")));
    for (const QString &file : std::as_const(containers))
        QVERIFY2(QFile::exists(file), qPrintable(file));
}

void BundleTest::openBase_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<BundleOutcome>("outcome");
    QTest::addColumn<BundleKind>("kind");
    QTest::addColumn<QByteArray>("baseEntry");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<bool>("stored"); // the container keeps its base as it is

    const auto row = [&](const char *name, const char *file, BundleOutcome outcome, BundleKind kind,
                         const QByteArray &baseEntry, const QString &problem = {},
                         bool stored = false) {
        QTest::newRow(name) << containers.value(QString::fromLatin1(file)) << outcome << kind
                            << baseEntry << problem << stored;
    };
    const QString noBase = QStringLiteral("找不到基础 APK");
    row("plain APK", "plain", BundleOutcome::NotBundle, BundleKind::Apk, {});
    row("bundletool APK set", "set.apks", BundleOutcome::Bundle, BundleKind::ApkSet,
        "splits/base-master.apk");
    row("flat APKS, base last", "flat.apks", BundleOutcome::Bundle, BundleKind::SplitApks,
        "base.apk");
    row("flat APKS, stored as installers keep APKs", "stored.apks", BundleOutcome::Bundle,
        BundleKind::SplitApks, "base.apk", {}, true);
    row("XAPK with an OBB", "app.xapk", BundleOutcome::Bundle, BundleKind::Xapk,
        Package.toUtf8() + ".apk");
    row("XAPK naming a split as its base", "misleading.xapk", BundleOutcome::Bundle,
        BundleKind::Xapk, "app.apk");
    row("APKM, JAR-signed container", "app.apkm", BundleOutcome::Bundle, BundleKind::Apkm,
        "base.apk");
    row("no base", "nobase.apks", BundleOutcome::Damaged, BundleKind::SplitApks, {}, noBase);
    row("base changed inside the container", "changed.apks", BundleOutcome::Damaged,
        BundleKind::SplitApks, {}, noBase);
    row("not a ZIP", "text.apks", BundleOutcome::Damaged, BundleKind::Apk, {},
        QStringLiteral("ZIP 结构损坏"));
    row("toc.pb past its size limit", "large-toc.apks", BundleOutcome::Damaged, BundleKind::ApkSet,
        {}, QStringLiteral("toc.pb 超过上限"));
    row("toc.pb of a million empty messages", "empty-messages.apks", BundleOutcome::Damaged,
        BundleKind::ApkSet, {}, QStringLiteral("toc.pb 超过上限"));
    row("info.json of a million values", "many-values.apkm", BundleOutcome::Damaged,
        BundleKind::Apkm, {}, QStringLiteral("info.json 超过上限"));
}

void BundleTest::openBase()
{
    QFETCH(QString, file);
    QFETCH(BundleOutcome, outcome);
    const BundleOpening opening = OpenBundleBase(SafeFile(QFile::encodeName(file)));
    QCOMPARE(opening.outcome, outcome);
    QTEST(FailureText(opening.problem), "problem");
    QTEST(opening.layout.kind, "kind");
    QTEST(opening.baseEntry, "baseEntry");
    QCOMPARE(opening.base.has_value(), outcome == BundleOutcome::Bundle);
    // Left for the inspection's own read to copy, a stored base is found where it lies; one the
    // container compresses is copied as before.
    const SafeFile container(QFile::encodeName(file));
    const BundleOpening later = OpenBundleBase(container, BaseCopy::Later);
    QCOMPARE(later.outcome, outcome);
    QCOMPARE(later.problem, opening.problem);
    QCOMPARE(later.baseEntry, opening.baseEntry);
    QTEST(later.storedOffset >= 0, "stored");
    QCOMPARE(later.base.has_value() || later.storedOffset >= 0, opening.base.has_value());
    if (later.storedOffset >= 0) {
        QByteArray stored(later.storedSize, Qt::Uninitialized);
        QVERIFY(container.readAt(later.storedOffset, stored.data(), stored.size()));
        QCOMPARE(stored, apks.value(QString()));
    }
    if (!opening.base)
        return;
    QCOMPARE(opening.baseManifest.packageName, Package);
    QVERIFY(opening.baseManifest.requiresSplits);
    // The base's own bytes, which the tool reads through the inherited descriptor.
    const SafeFile base(opening.base->descriptor());
    QByteArray bytes(base.size(), Qt::Uninitialized);
    QVERIFY(base.readAt(0, bytes.data(), bytes.size()));
    QCOMPARE(bytes, apks.value(QString()));
    QByteArray output;
    RunToolCapture({QStringLiteral(SYSTEM_AAPT), QStringLiteral("dump"), QStringLiteral("badging"),
                    QString::fromLatin1(opening.base->childPath())},
                   output, opening.base->descriptor());
    QVERIFY2(output.startsWith("package: name='" + Package.toUtf8() + "'"), output.constData());
}

QString BundleTest::patchedPackage(const QString &name, PackageContents contents,
                                   const std::function<QByteArray(const QByteArray &)> &patch)
{
    const TestPackage package{Package, QStringLiteral("3.1"), QStringLiteral("Bundle"), 21};
    contents.rewriteManifest = patch;
    const QString built = BuildTestPackage(directory.path(), name, package, contents);
    return SignTestPackage(built, path(QStringLiteral("signed-") + name), key)
               ? path(QStringLiteral("signed-") + name)
               : QString();
}

void BundleTest::details_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("baseEntry");
    // "label: value" rows, each matched by its start; after a '*', by what the row holds further on
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("absent"); // labels no row has
    // The stable names of why the verdict fails (empty when it passes), then of each 说明不符.
    QTest::addColumn<QStringList>("codes");

    // aapt 1 knows no android:requiredSplitTypes: a known attribute's name is renamed.
    PackageContents required;
    required.manifestAttributes = QStringLiteral("android:resizeableActivity='true'");
    const QString requiredSplitTypes =
        patchedPackage(QStringLiteral("required.apk"), required, [](QByteArray xml) {
            const auto utf16 = [](const char *text) {
                const QString name = QString::fromLatin1(text);
                return QByteArray(reinterpret_cast<const char *>(name.utf16()), name.size() * 2);
            };
            return xml.replace(utf16("resizeableActivity"), utf16("requiredSplitTypes"));
        });
    PackageContents icon;
    icon.icon = QStringLiteral("@drawable/icon");
    icon.resources = {{QStringLiteral("drawable/icon.xml"), "<shape/>"}};
    const QString missingIcon =
        patchedPackage(QStringLiteral("missingicon.apk"), icon, [](QByteArray xml) {
            const std::optional<ApkManifest> manifest = ReadApkManifest(xml);
            QByteArray reference("\x08\x00\x00\x01", 4);
            const auto id = [&](quint32 value) {
                QByteArray bytes = reference;
                bytes.resize(8);
                qToLittleEndian(value, bytes.data() + 4);
                return bytes;
            };
            return manifest ? xml.replace(id(manifest->iconResource), id(0x7f0f0fff)) : xml;
        });
    const QStringList bundleOnly = {QStringLiteral("各 APK 校验"), QStringLiteral("容器签名")};
    const QStringList whole = {QStringLiteral("说明不符"), QStringLiteral("容器签名")};
    const QString needsSplits = QStringLiteral("安装要求: 需要拆分包（单独安装会失败）");
    const QString passes = QStringLiteral("签名校验: 通过");
    const auto splitRows = [](const QString &prefix) {
        return QStringList{
            prefix.arg(QStringLiteral("arm64_v8a")) + QStringLiteral(": 原生平台 arm64-v8a，"),
            prefix.arg(QStringLiteral("xxhdpi")) + QStringLiteral(": 屏幕密度 xxhdpi，"),
            prefix.arg(QStringLiteral("zh")) + QStringLiteral(": 语言 zh，")};
    };

    QTest::newRow("single APK that needs its splits")
        << containers.value(QStringLiteral("plain")) << QByteArray()
        << QStringList{QStringLiteral("包类型: APK"), needsSplits, passes} << bundleOnly
        << QStringList{QString()};
    QTest::newRow("single APK declaring requiredSplitTypes")
        << requiredSplitTypes << QByteArray() << QStringList{needsSplits} << bundleOnly
        << QStringList{QString()};
    QTest::newRow("single APK whose icon reference is missing")
        << missingIcon << QByteArray()
        << QStringList{QStringLiteral("工具提示: *ERROR getting 'android:icon' attribute")}
        << QStringList{QStringLiteral("安装要求")} << QStringList{QString()};
    QTest::newRow("bundletool APK set")
        << containers.value(QStringLiteral("set.apks")) << QByteArray("splits/base-master.apk")
        << QStringList{QStringLiteral("包类型: APK 集 (bundletool)"), needsSplits,
                       QStringLiteral("splits/base-master.apk: 基础 APK，"),
                       QStringLiteral("splits/camera-master.apk: 功能模块 camera，"), passes} +
               splitRows(QStringLiteral("splits/base-%1.apk"))
        << whole << QStringList{QString()};
    QTest::newRow("flat APKS, stored as installers keep APKs")
        << containers.value(QStringLiteral("stored.apks")) << QByteArray("base.apk")
        << QStringList{QStringLiteral("包类型: 拆分 APK 包"), needsSplits,
                       QStringLiteral("原生平台: arm64-v8a"), passes} +
               splitRows(QStringLiteral("split_config.%1.apk"))
        << whole << QStringList{QString()};
    QTest::newRow("stored split changed inside the container")
        << containers.value(QStringLiteral("storedchanged.apks")) << QByteArray("base.apk")
        << QStringList{QStringLiteral("签名校验: 失败：split_config.arm64_v8a.apk 无法读取"),
                       QStringLiteral("原生平台: 无")}
        << whole << QStringList{QStringLiteral("bundle-apk-unreadable")};
    QTest::newRow("XAPK with an OBB")
        << containers.value(QStringLiteral("app.xapk"))
        << (Package + QStringLiteral(".apk")).toUtf8()
        << QStringList{QStringLiteral("包类型: XAPK"),
                       QStringLiteral("Android/obb/%1/main.7.%1.obb: OBB 数据，70,000 字节")
                           .arg(Package),
                       passes} +
               splitRows(QStringLiteral("config.%1.apk"))
        << whole << QStringList{QString()};
    QTest::newRow("XAPK whose description disagrees")
        << containers.value(QStringLiteral("misleading.xapk")) << QByteArray("app.apk")
        << QStringList{QStringLiteral(
               "说明不符: manifest.json 的版本号“9.9”与基础 APK 的“3.1”不同\n"
               "manifest.json 指定的基础 APK“config.zh.apk”")}
        << QStringList{QStringLiteral("容器签名")}
        << QStringList{QString(), QStringLiteral("bundle-description-version-name-differs"),
                       QStringLiteral("bundle-description-base-differs")};
    QTest::newRow("APKM") << containers.value(QStringLiteral("app.apkm")) << QByteArray("base.apk")
                          << QStringList{QStringLiteral("包类型: APKM"),
                                         QStringLiteral("容器签名: 通过"), passes}
                          << QStringList{QStringLiteral("说明不符")} << QStringList{QString()};
    QTest::newRow("split signed by another key")
        << containers.value(QStringLiteral("otherkey.apks")) << QByteArray("base.apk")
        << QStringList{QStringLiteral("包类型: 拆分 APK 包"),
                       QStringLiteral(
                           "签名校验: 失败：split_config.arm64_v8a.apk 签名者与基础 APK 不同")}
        << whole << QStringList{QStringLiteral("bundle-apk-signer-differs")};
    QTest::newRow("base changed before packing")
        << containers.value(QStringLiteral("damagedbase.apks")) << QByteArray("base.apk")
        << QStringList{QStringLiteral("签名校验: 失败：base.apk ")} << whole
        << QStringList{QStringLiteral("signature-mismatch")};
    QTest::newRow("inner APKs inflating past what the bundle may")
        << containers.value(QStringLiteral("inflating.apks")) << QByteArray("base.apk")
        << QStringList{QStringLiteral("签名校验: 失败：split_a.apk *超过上限"),
                       QStringLiteral("各 APK 校验: base.apk: 通过")}
        << QStringList{QStringLiteral("容器签名")} << QStringList{QStringLiteral("inflate-limit")};
}

void BundleTest::details()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, baseEntry);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, absent);
    QVERIFY(!file.isEmpty());
    // The tool's output for the base, and the MD5 of the file that was dropped.
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(SYSTEM_AAPT),
               {QStringLiteral("dump"), QStringLiteral("badging"),
                baseEntry.isEmpty() ? file : containers.value(QStringLiteral("plain"))});
    tool.waitForFinished(-1);
    const QByteArray bytes = ReadFile(file);
    const auto package = std::make_shared<const PackageFile>(QFile::encodeName(file));
    const InspectedPackage inspected{
        QFile::encodeName(file),
        tool.readAllStandardOutput(),
        QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex(),
        baseEntry,
        baseEntry.isEmpty() ? BundleLayout{}
                            : ReadBundleLayout(ZipArchive(package->file()).entryNames()),
        package};

    QStringList rows;
    QStringList labels;
    const PackageDetails details = LoadPackageDetails(inspected);
    QStringList codes{QString::fromLatin1(FailureCodeName(PackageVerdictFailure(details).code))};
    if (details.bundle)
        for (const Failure &note : details.bundle->notes)
            codes.append(QString::fromLatin1(FailureCodeName(note.code)));
    QTEST(codes, "codes");
    for (const DetailsSection &section : DetailsSections(details))
        for (const DetailsRow &row : section.rows) {
            rows.append(row.label + QStringLiteral(": ") + row.value);
            labels.append(row.label);
        }
    shown.append(
        QStringLiteral("SHA-256: ") +
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    for (const QString &expected : std::as_const(shown))
        QVERIFY2(std::any_of(rows.begin(), rows.end(),
                             [&](const QString &row) {
                                 const QStringList pieces = expected.split(u'*');
                                 return row.startsWith(pieces.first()) &&
                                        row.contains(pieces.last());
                             }),
                 qPrintable(expected + QStringLiteral("\n not in\n") + rows.join(u'\n')));
    for (const QString &label : std::as_const(absent))
        QVERIFY2(!labels.contains(label), qPrintable(label));
}

using Draws = QList<QList<qint64>>;

void BundleTest::readInTurns_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<qint64>("allowance"); // what each may draw ahead of its turn
    QTest::addColumn<Draws>("reads");      // each APK's draws while it is read
    QTest::addColumn<Draws>("turns");      // and in its turn

    QTest::newRow("every draw fits")
        << qint64(1000) << qint64(1000) << Draws{{100, 50}, {200}, {10}} << Draws{{5}, {5}, {5}};
    QTest::newRow("runs out on the second, the third unread")
        << qint64(300) << qint64(1000) << Draws{{100, 100}, {150}, {10}} << Draws{{}, {}, {}};
    QTest::newRow("the first needs what the second drew ahead")
        << qint64(100) << qint64(1000) << Draws{{30, 60}, {50}} << Draws{{}, {}};
    QTest::newRow("the first needs in its turn what the second drew ahead")
        << qint64(100) << qint64(1000) << Draws{{10}, {20}} << Draws{{85}, {}};
    QTest::newRow("past its allowance the second waits for its turn")
        << qint64(100) << qint64(10) << Draws{{30}, {20, 40}} << Draws{{}, {5}};
    QTest::newRow("runs out on the first while the second waits for its turn")
        << qint64(100) << qint64(10) << Draws{{20, 90}, {30}} << Draws{{}, {}};
    QTest::newRow("a refused draw, then a smaller one that fits")
        << qint64(100) << qint64(1000) << Draws{{80, 50, 10}, {5}} << Draws{{}, {}};
    QTest::newRow("one APK") << qint64(10) << qint64(1000) << Draws{{20}} << Draws{{}};
}

void BundleTest::readInTurns()
{
    QFETCH(qint64, budget);
    QFETCH(qint64, allowance);
    QFETCH(Draws, reads);
    QFETCH(Draws, turns);
    // Each APK's draws as granted (+) or refused (-).
    const auto grant = [](bool granted) { return granted ? u'+' : u'-'; };
    // One after another on one budget: what reading two at a time must come to.
    InflateBudget inOrder(budget);
    QStringList expected;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        QString granted;
        if (!inOrder.exhausted())
            for (qint64 size : reads[i] + turns[i])
                granted.append(grant(inOrder.take(size)));
        expected.append(granted);
    }

    const auto shared = std::make_shared<InflateBudget>(budget);
    std::vector<QString> granted(std::size_t(reads.size()));
    std::vector<std::shared_ptr<InflateBudget>> drawnOn(std::size_t(reads.size()));
    std::atomic<bool> firstRead = true;
    ReadInTurns(
        shared, reads.size(), [&](qsizetype) { return allowance; },
        [&](qsizetype index, const std::shared_ptr<InflateBudget> &drawFrom) {
            // The first starts late, so that the second draws ahead of it.
            if (index == 0 && firstRead.exchange(false))
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const auto at = std::size_t(index);
            drawnOn[at] = drawFrom;
            granted[at].clear();
            for (qint64 size : reads[index])
                granted[at].append(grant(drawFrom->take(size)));
        },
        [&](qsizetype index, bool read) {
            const auto at = std::size_t(index);
            if (!read)
                granted[at].clear();
            else
                for (qint64 size : turns[index])
                    granted[at].append(grant(drawnOn[at]->take(size)));
        });
    QCOMPARE(QStringList(granted.begin(), granted.end()), expected);
    QCOMPARE(shared->remaining(), inOrder.remaining());
    QCOMPARE(shared->exhausted(), inOrder.exhausted());
}

QTEST_GUILESS_MAIN(BundleTest)
#include "BundleTest.moc"
