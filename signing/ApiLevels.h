#pragma once

// The Android API levels at which the signature rules change.
namespace ApiLevel {
inline constexpr int Gingerbread = 9;   // 2.3: SHA-384 and SHA-512 in JAR manifests
inline constexpr int JellyBeanMr2 = 18; // 4.3: the strongest JAR digest wins
inline constexpr int KitKat = 19;       // 4.4: PKCS #7 signed attributes checked soundly
inline constexpr int Nougat = 24;       // 7.0: v2; from here the JAR signature is a fallback
inline constexpr int Pie = 28;          // 9: v3, and the verity-based signature algorithms
inline constexpr int R = 30;            // 11: a package targeting this or later needs v2 or newer
inline constexpr int Tiramisu = 33;     // 13: v3.1
// The newest release whose rules this program knows; every later one checks JAR signatures as
// it does.
inline constexpr int NewestKnown = 36;
// "Through the newest": what a v3 signer for every later platform names as its maximum.
inline constexpr int Newest = 0x7fffffff;
} // namespace ApiLevel
