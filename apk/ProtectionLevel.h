#pragma once

#include <QString>
#include <QtGlobal>

// A permission's android:protectionLevel as PermissionInfo holds it: a base level in the low
// four bits, flags above.
namespace ProtectionLevel {
constexpr quint32 Normal = 0;
constexpr quint32 Dangerous = 1;
constexpr quint32 Signature = 2;
constexpr quint32 SignatureOrSystem = 3;
constexpr quint32 Internal = 4;
constexpr quint32 BaseMask = 0xf;
constexpr quint32 Privileged = 0x10;
} // namespace ProtectionLevel

// The level Android keeps for a declared one (PermissionInfo.fixProtectionLevel): the old
// signatureOrSystem becomes signature|privileged.
quint32 FixedProtectionLevel(quint32 level);

// The level in Android's own words, as PermissionInfo.protectionToString writes it:
// "dangerous", "signature|privileged|development", "????" for a base level it does not know.
QString ProtectionLevelName(quint32 level);

// The flags alone in Android's words, each after a "|"; empty when there are none.
QString ProtectionFlagNames(quint32 level);
