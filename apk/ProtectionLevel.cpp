#include "ProtectionLevel.h"

#include <array>
#include <utility>

namespace {

// In protectionToString's order. wellbeing and documenter are Android 10's, whose table the
// levels come from; later releases dropped them.
constexpr std::array<std::pair<quint32, const char *>, 24> FlagNames{{
    {0x10, "privileged"},
    {0x20, "development"},
    {0x40, "appop"},
    {0x80, "pre23"},
    {0x100, "installer"},
    {0x200, "verifier"},
    {0x400, "preinstalled"},
    {0x800, "setup"},
    {0x1000, "instant"},
    {0x2000, "runtime"},
    {0x4000, "oem"},
    {0x8000, "vendorPrivileged"},
    {0x10000, "textClassifier"},
    {0x20000, "wellbeing"},
    {0x40000, "documenter"},
    {0x80000, "configurator"},
    {0x100000, "incidentReportApprover"},
    {0x200000, "appPredictor"},
    {0x800000, "companion"},
    {0x1000000, "retailDemo"},
    {0x2000000, "recents"},
    {0x4000000, "role"},
    {0x8000000, "knownSigner"},
    {0x400000, "module"},
}};

} // namespace

quint32 FixedProtectionLevel(quint32 level)
{
    return level == ProtectionLevel::SignatureOrSystem
               ? ProtectionLevel::Signature | ProtectionLevel::Privileged
               : level;
}

QString ProtectionFlagNames(quint32 level)
{
    QString names;
    for (const auto &[flag, name] : FlagNames)
        if (level & flag)
            names += u'|' + QLatin1String(name);
    return names;
}

QString ProtectionLevelName(quint32 level)
{
    QString base;
    switch (level & ProtectionLevel::BaseMask) {
    case ProtectionLevel::Normal:
        base = QStringLiteral("normal");
        break;
    case ProtectionLevel::Dangerous:
        base = QStringLiteral("dangerous");
        break;
    case ProtectionLevel::Signature:
        base = QStringLiteral("signature");
        break;
    case ProtectionLevel::SignatureOrSystem:
        base = QStringLiteral("signatureOrSystem");
        break;
    case ProtectionLevel::Internal:
        base = QStringLiteral("internal");
        break;
    default:
        base = QStringLiteral("????");
        break;
    }
    return base + ProtectionFlagNames(level);
}
