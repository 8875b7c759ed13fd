#pragma once

// The API levels at which Android changed how it checks an APK's signatures.
namespace ApiLevel {
inline constexpr int Gingerbread = 9;   // 2.3: SHA-384 and SHA-512 in JAR manifests
inline constexpr int JellyBeanMr2 = 18; // 4.3: the strongest JAR digest wins
inline constexpr int KitKat = 19;       // 4.4: PKCS #7 signed attributes checked soundly
inline constexpr int Nougat = 24;       // 7.0: APK Signature Scheme v2
inline constexpr int Pie = 28;          // 9: APK Signature Scheme v3
inline constexpr int Newest = 36;       // 16, the newest this program knows
} // namespace ApiLevel
