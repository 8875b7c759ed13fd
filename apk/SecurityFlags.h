#pragma once

#include "ManifestValues.h"

// Who decides whether the app may send traffic in the clear.
enum class CleartextDecider
{
    Manifest,              // android:usesCleartextTraffic
    TargetSdk,             // its default: allowed below target SDK 28
    NetworkSecurityConfig, // the config the application names, which Pelmora does not read
};

// The <application> flags that matter to its security, each its effective value with Android's
// default filled in; nothing for a reference that does not resolve to one value.
struct SecurityFlags
{
    std::optional<bool> debuggable = false;
    std::optional<bool> testOnly = false;
    std::optional<bool> allowBackup = true;
    std::optional<bool> usesCleartextTraffic; // nothing, too, when the config decides
    CleartextDecider cleartextDecidedBy = CleartextDecider::TargetSdk;
    bool hasNetworkSecurityConfig = false;
    // The config's file ("res/xml/network_security_config.xml"), or its resource id in hex
    // ("@0x7f0f0000") when the table does not name one file.
    QString networkSecurityConfig;
    std::optional<bool> extractNativeLibs = true;
    std::optional<bool> hasCode = true;
    QString sharedUserId; // empty when absent
};

// The flags of `manifest`'s <application>, or the defaults without one.
SecurityFlags ReadSecurityFlags(const XmlDocument &manifest, const SdkLevels &sdk,
                                ManifestValues &values);
