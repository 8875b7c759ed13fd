#pragma once

// The Android API levels at which the signature rules change.
namespace ApiLevel {
inline constexpr int Nougat = 24;   // v2; from here the JAR signature is only a fallback
inline constexpr int Pie = 28;      // v3, and the verity-based signature algorithms
inline constexpr int R = 30;        // a package targeting this or later needs v2 or newer
inline constexpr int Tiramisu = 33; // v3.1
// "Through the newest": what a v3 signer for every later platform names as its maximum.
inline constexpr int Newest = 0x7fffffff;
} // namespace ApiLevel
