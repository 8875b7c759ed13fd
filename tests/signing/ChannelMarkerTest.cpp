#include "HostilePackages.h"
#include "LittleEndian.h"
#include "SignedPackages.h"

#include <QHash>
#include <QTest>

// A store's channel marker, outside what the signatures cover: read where the store's tool put
// it and nowhere else, the signatures still holding, against apksigner.

namespace {

enum class Change
{
    None,
    WalleMarker,    // a signing block pair of JSON
    VasDollyMarker, // a signing block pair of the name alone
    CommentMarker,  // the ZIP comment of a v1-only package
};

QByteArray WithMarker(Change change, const QByteArray &bytes)
{
    if (change == Change::CommentMarker) {
        const QByteArray name = "应用宝";
        const QByteArray comment = name + Bytes(quint16(name.size())) + "ltlovezh";
        QByteArray marked = bytes;
        Put(marked, marked.size() - 2, quint16(comment.size()));
        return marked + comment;
    }
    const bool walle = change == Change::WalleMarker;
    return WithBlockPairs(bytes, [walle](quint32 id, const QByteArray &value) {
        QByteArray pairs = BlockPair(id, value);
        if (id == V2PairId)
            pairs += walle ? BlockPair(0x71777777, R"({"channel":"华为应用市场","k":"v"})")
                           : BlockPair(0x881155ff, "xiaomi");
        return pairs;
    });
}

Alteration MarkerAlteration(Change change)
{
    if (change == Change::None)
        return {};
    return AfterSigning([change](const QByteArray &bytes) { return WithMarker(change, bytes); });
}

Ruling MarkerRuling(Change change, const QString &)
{
    const QHash<Change, QString> channels = {{Change::WalleMarker, QStringLiteral("华为应用市场")},
                                             {Change::VasDollyMarker, QStringLiteral("xiaomi")},
                                             {Change::CommentMarker, QStringLiteral("应用宝")}};
    return {.channel = channels.value(change)};
}

} // namespace

class ChannelMarkerTest : public SignatureRulesTest
{
    Q_OBJECT

    void addKeys() override;
    void addRows() override;
    void checkRow() override;
};

void ChannelMarkerTest::addKeys()
{
    QVERIFY(packages.addKey(QStringLiteral("ec"), {QStringLiteral("-newkey"), QStringLiteral("ec"),
                                                   QStringLiteral("-pkeyopt"),
                                                   QStringLiteral("ec_paramgen_curve:P-256")}));
}

void ChannelMarkerTest::addRows()
{
    AddSignedPackageColumns<Change>();

    QTest::newRow("channel in a JSON pair")
        << 0 << QStringLiteral("rsa") << QStringList() << Change::WalleMarker << QByteArray()
        << AllSchemes << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("channel in a pair of its own")
        << 24 << QStringLiteral("ec") << V2Only << Change::VasDollyMarker << QByteArray()
        << QStringLiteral("v2") << QStringLiteral("通过") << QStringLiteral("EC 256 位");
    QTest::newRow("channel in the ZIP comment")
        << 0 << QStringLiteral("rsa") << V1Only << Change::CommentMarker << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
}

void ChannelMarkerTest::checkRow()
{
    MatchesApksigner<Change>(packages, MarkerAlteration, MarkerRuling);
}

QTEST_GUILESS_MAIN(ChannelMarkerTest)
#include "ChannelMarkerTest.moc"
