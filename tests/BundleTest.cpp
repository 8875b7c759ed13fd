// Bundles built at test time from packages made by aapt and signed by apksigner: which base is
// found in each layout, and what the details window says about them.
#include "TestSupport.h"
#include "bundle/ApkSetToc.pb.h"
#include "bundle/OpenBundleBase.h"
#include "digest/SafeFile.h"
#include "inspect/ToolCapture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

const QString Package = QStringLiteral("org.example.bundle");
const QStringList Configs = {QStringLiteral("arm64_v8a"), QStringLiteral("xxhdpi"),
                             QStringLiteral("zh")};

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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
    const qsizetype data = 30 + qFromLittleEndian<quint16>(zip.constData() + 26) +
                           qFromLittleEndian<quint16>(zip.constData() + 28);
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

private:
    QString path(const QString &name) const { return directory.filePath(name); }
    // The base and its splits signed, keyed by their configuration ("" for the base).
    QString container(const QString &name, const ZipEntries &entries, bool jarSign = false);

    QTemporaryDir directory;
    TestKey key;
    QMap<QString, QByteArray> apks;
    QByteArray otherKeyAbiSplit;
};

QString BundleTest::container(const QString &name, const ZipEntries &entries, bool jarSign)
{
    const QString unsigned_ = path(name + QStringLiteral(".unsigned"));
    if (!BuildTestZip(jarSign ? unsigned_ : path(name), entries))
        return {};
    if (jarSign && !SignTestPackage(unsigned_, path(name), key, true))
        return {};
    return path(name);
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
}

void BundleTest::openBase_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<BundleOutcome>("outcome");
    QTest::addColumn<BundleKind>("kind");
    QTest::addColumn<QByteArray>("baseEntry");

    const QByteArray base = apks.value(QString());
    const auto splits = [&](const QString &prefix) {
        ZipEntries entries;
        for (const QString &config : Configs)
            entries.append({prefix.arg(config), apks.value(config)});
        return entries;
    };
    QJsonArray xapkSplits = {QJsonObject{{QStringLiteral("file"), Package + QStringLiteral(".apk")},
                                         {QStringLiteral("id"), QStringLiteral("base")}}};
    const QJsonObject xapk = {{QStringLiteral("xapk_version"), 2},
                              {QStringLiteral("package_name"), Package},
                              {QStringLiteral("version_code"), QStringLiteral("7")},
                              {QStringLiteral("version_name"), QStringLiteral("3.1")},
                              {QStringLiteral("split_apks"), xapkSplits}};
    QJsonObject misleading = xapk;
    misleading[QStringLiteral("split_apks")] =
        QJsonArray{QJsonObject{{QStringLiteral("file"), QStringLiteral("config.zh.apk")},
                               {QStringLiteral("id"), QStringLiteral("base")}}};
    const QByteArray obb(70000, 'o');
    const QString obbEntry = QStringLiteral("Android/obb/%1/main.7.%1.obb").arg(Package);
    const ZipEntries flat =
        ZipEntries{{QStringLiteral("base.apk"), base}} +
        splits(QStringLiteral("split_config.%1.apk")) +
        ZipEntries{
            {QStringLiteral("meta.sai_v2.json"),
             Json({{QStringLiteral("package"), Package}, {QStringLiteral("version_code"), 7}})}};

    QTest::newRow("plain APK") << path(QStringLiteral("base.apk")) << BundleOutcome::NotBundle
                               << BundleKind::Apk << QByteArray();
    QVERIFY(WriteFile(path(QStringLiteral("base.apk")), base));
    QTest::newRow("bundletool APK set")
        << container(QStringLiteral("set.apks"),
                     ZipEntries{{QStringLiteral("toc.pb"), Toc(Package)},
                                {QStringLiteral("splits/base-master.apk"), base}} +
                         splits(QStringLiteral("splits/base-%1.apk")))
        << BundleOutcome::Bundle << BundleKind::ApkSet << QByteArray("splits/base-master.apk");
    QTest::newRow("flat APKS, base last")
        << container(QStringLiteral("flat.apks"), ZipEntries(flat.rbegin(), flat.rend()))
        << BundleOutcome::Bundle << BundleKind::SplitApks << QByteArray("base.apk");
    QTest::newRow("XAPK with an OBB")
        << container(QStringLiteral("app.xapk"),
                     ZipEntries{{QStringLiteral("manifest.json"), Json(xapk)},
                                {Package + QStringLiteral(".apk"), base},
                                {obbEntry, obb}} +
                         splits(QStringLiteral("config.%1.apk")))
        << BundleOutcome::Bundle << BundleKind::Xapk << (Package + QStringLiteral(".apk")).toUtf8();
    QTest::newRow("XAPK naming a split as its base")
        << container(QStringLiteral("misleading.xapk"),
                     ZipEntries{{QStringLiteral("manifest.json"), Json(misleading)},
                                {QStringLiteral("app.apk"), base}} +
                         splits(QStringLiteral("config.%1.apk")))
        << BundleOutcome::Bundle << BundleKind::Xapk << QByteArray("app.apk");
    QTest::newRow("APKM, JAR-signed container")
        << container(
               QStringLiteral("app.apkm"),
               ZipEntries{{QStringLiteral("info.json"), Json({{QStringLiteral("pname"), Package}})},
                          {QStringLiteral("base.apk"), base}} +
                   splits(QStringLiteral("split_config.%1.apk")),
               true)
        << BundleOutcome::Bundle << BundleKind::Apkm << QByteArray("base.apk");
    QTest::newRow("no base") << container(QStringLiteral("nobase.apks"),
                                          splits(QStringLiteral("split_config.%1.apk")))
                             << BundleOutcome::Damaged << BundleKind::SplitApks << QByteArray();
    const QString changed = container(QStringLiteral("changed.apks"), flat);
    QVERIFY(WriteFile(changed, ChangeFirstEntry(ReadFile(changed))));
    QTest::newRow("base changed inside the container")
        << changed << BundleOutcome::Damaged << BundleKind::SplitApks << QByteArray();
    QVERIFY(WriteFile(path(QStringLiteral("text.apks")), "not a zip at all"));
    QTest::newRow("not a ZIP") << path(QStringLiteral("text.apks")) << BundleOutcome::Damaged
                               << BundleKind::Apk << QByteArray();
}

void BundleTest::openBase()
{
    QFETCH(QString, file);
    QFETCH(BundleOutcome, outcome);
    const BundleOpening opening = OpenBundleBase(SafeFile(QFile::encodeName(file)));
    QCOMPARE(opening.outcome, outcome);
    QTEST(opening.kind, "kind");
    QTEST(opening.baseEntry, "baseEntry");
    QCOMPARE(opening.base.has_value(), outcome == BundleOutcome::Bundle);
    if (!opening.base)
        return;
    QCOMPARE(opening.baseManifest.packageName, Package);
    QVERIFY(opening.baseManifest.requiresSplits);
    // The base's own bytes, which the tool reads through the inherited descriptor.
    const SafeFile base(opening.base->procPath());
    QByteArray bytes(base.size(), Qt::Uninitialized);
    QVERIFY(base.readAt(0, bytes.data(), bytes.size()));
    QCOMPARE(bytes, apks.value(QString()));
    QByteArray output;
    RunToolCapture({QStringLiteral(SYSTEM_AAPT), QStringLiteral("dump"), QStringLiteral("badging"),
                    QString::fromLatin1(opening.base->childPath())},
                   output, opening.base->descriptor());
    QVERIFY2(output.startsWith("package: name='" + Package.toUtf8() + "'"), output.constData());
}

QTEST_GUILESS_MAIN(BundleTest)
#include "BundleTest.moc"
