#include "ShownDetails.h"

namespace {

void Escape(QString &text)
{
    text = EscapeControls(text);
}

void Escape(QByteArray &narrow)
{
    narrow = EscapeControls(QString::fromUtf8(narrow)).toUtf8();
}

template <typename Text> void Escape(QList<Text> &items)
{
    for (Text &item : items)
        Escape(item);
}

void Escape(CertificateFacts &facts)
{
    for (QString *text : {&facts.subject, &facts.issuer, &facts.serial, &facts.keyAlgorithm,
                          &facts.md5, &facts.sha1, &facts.sha256, &facts.signatureMd5})
        Escape(*text);
}

// The arguments are what a failure quotes from the package (an entry's name); the failure it
// wraps quotes too.
void Escape(Failure &failure)
{
    Escape(failure.args);
    if (failure.cause) {
        Failure cause = *failure.cause;
        Escape(cause);
        failure.cause = std::make_shared<const Failure>(cause);
    }
}

void Escape(SignatureReport &report)
{
    Escape(report.failure);
    for (SchemeResult *scheme : {&report.v1, &report.v2, &report.v3})
        Escape(scheme->reason);
    for (SignerFacts &signer : report.signers)
        Escape(signer.certificate);
    for (SchemeSigners &scheme : report.signersByScheme)
        for (SignerFacts &signer : scheme.signers)
            Escape(signer.certificate);
}

void Escape(BundleContents &bundle)
{
    Escape(bundle.baseEntry);
    for (InnerApkFacts &apk : bundle.apks) {
        Escape(apk.entry);
        if (apk.manifest)
            Escape(apk.manifest->split);
        Escape(apk.signatures);
    }
    for (ObbFacts &obb : bundle.obbs)
        Escape(obb.entry);
    for (Failure &note : bundle.notes)
        Escape(note);
}

void Escape(PackageFacts &facts)
{
    for (QString *text : {&facts.label, &facts.defaultLabel, &facts.packageName, &facts.versionName,
                          &facts.versionCode, &facts.minSdk, &facts.targetSdk, &facts.compileSdk,
                          &facts.compileSdkVersion})
        Escape(*text);
    Escape(facts.permissions);
    Escape(facts.permissionNames);
    Escape(facts.nativePlatforms);
}

void Escape(PackageExposure &exposure)
{
    for (DeclaredComponent &component : exposure.components.components) {
        for (QString *text : {&component.name, &component.targetActivity, &component.permission,
                              &component.readPermission, &component.writePermission})
            Escape(*text);
        Escape(component.authorities);
        for (IntentFilter &filter : component.intentFilters) {
            for (QStringList *items :
                 {&filter.actions, &filter.categories, &filter.schemes, &filter.hosts})
                Escape(*items);
            for (IntentFilter::DataPath &path : filter.paths)
                Escape(path.path);
        }
    }
    Escape(exposure.components.launcherActivity);
    Escape(exposure.flags.networkSecurityConfig);
    Escape(exposure.flags.sharedUserId);
}

} // namespace

QString EscapeControls(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        const bool control = c.category() == QChar::Other_Control ||
                             c.category() == QChar::Separator_Line ||
                             c.category() == QChar::Separator_Paragraph;
        if (!control)
            shown += c;
        else if (code == u'\n')
            shown += QLatin1String("\\n");
        else if (code == u'\r')
            shown += QLatin1String("\\r");
        else if (code == u'\t')
            shown += QLatin1String("\\t");
        else if (code < 0x100)
            shown += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

PackageDetails ShownDetails(const PackageDetails &details)
{
    PackageDetails shown = details;
    Escape(shown.facts);
    Escape(shown.toolComplaints);
    if (shown.icon)
        Escape(shown.icon->path);
    if (shown.channel)
        Escape(*shown.channel);
    Escape(shown.signatures);
    if (shown.container)
        Escape(*shown.container);
    if (shown.bundle)
        Escape(*shown.bundle);
    if (shown.nativeLibraries)
        for (NativeLibrary &library : *shown.nativeLibraries) {
            Escape(library.abi);
            Escape(library.path);
        }
    if (shown.holdings && shown.holdings->exposure)
        Escape(*shown.holdings->exposure);
    return shown;
}
