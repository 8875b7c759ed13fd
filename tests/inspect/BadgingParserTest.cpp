#include "inspect/BadgingParser.h"

#include "inspect/ToolComplaints.h"

#include <QFile>
#include <QTest>

class BadgingParserTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void capturedOutput_data();
    void capturedOutput();
};

void BadgingParserTest::parse_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("icon");
    QTest::addColumn<QByteArrayList>("complaints");
    const QByteArrayList none;

    QTest::newRow("typical") << QByteArray("package: name='com.example.app' versionCode='3' "
                                           "versionName='1.2.0'\nsdkVersion:'9'\n"
                                           "application-icon-160:'res/drawable/icon.png'\n")
                             << int(Parsed) << QByteArray("com.example.app") << QByteArray("1.2.0")
                             << QByteArray("res/drawable/icon.png") << none;
    QTest::newRow("empty") << QByteArray() << int(NoOutput) << QByteArray() << QByteArray()
                           << QByteArray() << none;
    QTest::newRow("ERROR beside a package line")
        << QByteArray("package: name='a.b' versionName='1'\nERROR getting 'x'\n") << int(ToolError)
        << QByteArray() << QByteArray() << QByteArray() << QByteArrayList{"ERROR getting 'x'"};
    QTest::newRow("ERROR before the package line")
        << QByteArray("ERROR\npackage: name='a.b'\n") << int(ToolError) << QByteArray()
        << QByteArray() << QByteArray() << QByteArrayList{"ERROR"};
    QTest::newRow("ERROR inside a value is the package's word")
        << QByteArray("package: name='TERRORS' versionName='1'") << int(Parsed)
        << QByteArray("TERRORS") << QByteArray("1") << QByteArray() << none;
    QTest::newRow("labels holding the word, in either form of line")
        << QByteArray("package: name='a.b' versionName='1'\napplication-label:'ERROR Reporter'\n"
                      "launchable-activity: name='a.b.M'  label='It's an ERROR' icon=''\n")
        << int(Parsed) << QByteArray("a.b") << QByteArray("1") << QByteArray() << none;
    QTest::newRow("the word in a value left open")
        << QByteArray("package: name='a.b' versionName='1'\napplication-label:'ERROR Reporter\n")
        << int(ToolError) << QByteArray() << QByteArray() << QByteArray()
        << QByteArrayList{"ERROR Reporter"};
    QTest::newRow("the word after a line's last value")
        << QByteArray("package: name='a.b' versionName='1'\nsdkVersion:'21' ERROR\n")
        << int(ToolError) << QByteArray() << QByteArray() << QByteArray()
        << QByteArrayList{"ERROR"};
    QTest::newRow("a value running across lines hides no line of the tool's")
        << QByteArray("package: name='a.b' versionName='1'\napplication-label:'x\n"
                      "ERROR: AndroidManifest.xml is corrupt y'\n")
        << int(ToolError) << QByteArray() << QByteArray() << QByteArray()
        << QByteArrayList{"ERROR: AndroidManifest.xml is corrupt y'"};
    // Its output arrives through a buffer of 4 KiB, its complaints at once, through one pipe.
    QTest::newRow("a complaint written into the middle of a line")
        << QByteArray(
               "package: name='a.b' versionName='1'\nuses-permission: AndroidManifest.xml:9: "
               "error: ERROR getting 'android:name' attribute: attribute is not a string "
               "value\nname='android.permission.CAMERA'\n")
        << int(ToolError) << QByteArray() << QByteArray() << QByteArray()
        << QByteArrayList{
               "ERROR getting 'android:name' attribute: attribute is not a string value"};
    QTest::newRow("the same within a label's value")
        << QByteArray("package: name='a.b' versionName='1'\napplication-label:'ReERROR getting "
                      "'android:icon' attribute: attribute value reference does not exist\n"
                      "porter'\n")
        << int(ToolError) << QByteArray() << QByteArray() << QByteArray()
        << QByteArrayList{"ERROR getting 'android:icon' attribute: attribute value reference does "
                          "not exist"};
    QTest::newRow("lower-case error is no error")
        << QByteArray("package: name='a.b' versionName='1'\nerror: x\n") << int(Parsed)
        << QByteArray("a.b") << QByteArray("1") << QByteArray() << QByteArrayList{"error: x"};
    QTest::newRow("no package line") << QByteArray("W/asset: something odd\n") << int(NoPackageLine)
                                     << QByteArray() << QByteArray() << QByteArray() << none;
    QTest::newRow("marker differs by case")
        << QByteArray("Package: name='a.b' versionName='1'\n") << int(NoPackageLine) << QByteArray()
        << QByteArray() << QByteArray() << none;
    QTest::newRow("adjacent apostrophes, parsing goes on")
        << QByteArray("package: name='' versionName='2.0' x\napplication-icon-120:'i.png'\n")
        << int(Parsed) << QByteArray() << QByteArray("2.0") << QByteArray("i.png") << none;
    QTest::newRow("no apostrophe after the marker")
        << QByteArray("versionName='1' package: name=broken\napplication-icon:") << int(Parsed)
        << QByteArray() << QByteArray() << QByteArray() << none;
    QTest::newRow("no closing apostrophe anywhere")
        << QByteArray("package: name='com.x versionName=1\n") << int(Parsed) << QByteArray()
        << QByteArray() << QByteArray() << none;
    QTest::newRow("value runs across a line break")
        << QByteArray("package: name='com.x\nnext' versionName='3.1'\n") << int(Parsed)
        << QByteArray("com.x\nnext") << QByteArray("3.1") << QByteArray() << none;
    QTest::newRow("no versionName, icon not looked for")
        << QByteArray("package: name='a.b' versionCode='1'\napplication-icon-160:'i.png'\n")
        << int(Parsed) << QByteArray("a.b") << QByteArray() << QByteArray() << none;
    QTest::newRow("platformBuildVersionName is not versionName")
        << QByteArray("package: name='a.b' platformBuildVersionName='10'\n") << int(Parsed)
        << QByteArray("a.b") << QByteArray() << QByteArray() << none;
    QTest::newRow("versionName found from the start, before the package line")
        << QByteArray("x versionName='0.1'\npackage: name='a.b' versionName='9'\n") << int(Parsed)
        << QByteArray("a.b") << QByteArray("0.1") << QByteArray() << none;
    QTest::newRow("first application-icon line counts")
        << QByteArray("package: name='a' versionName='1'\napplication-icon-640:'big.png'\n"
                      "application-icon-120:'small.png'\n")
        << int(Parsed) << QByteArray("a") << QByteArray("1") << QByteArray("big.png") << none;
    QTest::newRow("icon without closing apostrophe")
        << QByteArray("package: name='a' versionName='1'\napplication-icon-120:'x") << int(Parsed)
        << QByteArray("a") << QByteArray("1") << QByteArray() << none;
    QTest::newRow("blanks and UTF-8 kept as they are")
        << QByteArray("package: name='a' versionName='1.0 beta \xe6\xb5\x8b'\n") << int(Parsed)
        << QByteArray("a") << QByteArray("1.0 beta \xe6\xb5\x8b") << QByteArray() << none;
    QTest::newRow("NUL bytes are ordinary bytes")
        << QByteArrayLiteral("package: name='a\0b' versionName='1'") << int(Parsed)
        << QByteArray("a\0b", 3) << QByteArray("1") << QByteArray() << none;
}

void BadgingParserTest::parse()
{
    QFETCH(QByteArray, output);
    QFETCH(int, status);
    BadgingInfo info;
    QCOMPARE(int(ParseBadging(output, info)), status);
    QTEST(info.packageName, "package");
    QTEST(info.versionName, "version");
    QTEST(info.iconPath, "icon");
    QTEST(ToolComplaints(output), "complaints");
}

void BadgingParserTest::capturedOutput_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("icon");

    QTest::newRow("framework-res.apk")
        << QStringLiteral("framework-res.txt") << int(Parsed) << QByteArray("android")
        << QByteArray("10.0.0") << QByteArray("res/drawable-ldpi-v4/ic_launcher_android.png");
    QTest::newRow("Chinese label, no icon")
        << QStringLiteral("chinese-label.txt") << int(Parsed) << QByteArray("com.example.app")
        << QByteArray("1.2.0") << QByteArray();
    QTest::newRow("random bytes") << QStringLiteral("random-bytes.txt") << int(ToolError)
                                  << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("a folder") << QStringLiteral("folder.txt") << int(ToolError) << QByteArray()
                              << QByteArray() << QByteArray();
}

void BadgingParserTest::capturedOutput()
{
    QFETCH(QString, file);
    QFETCH(int, status);
    QFile captured(QStringLiteral(TEST_DATA_DIR "/") + file);
    QVERIFY(captured.open(QIODevice::ReadOnly));
    BadgingInfo info;
    QCOMPARE(int(ParseBadging(captured.readAll(), info)), status);
    QTEST(info.packageName, "package");
    QTEST(info.versionName, "version");
    QTEST(info.iconPath, "icon");
}

QTEST_APPLESS_MAIN(BadgingParserTest)
#include "BadgingParserTest.moc"
