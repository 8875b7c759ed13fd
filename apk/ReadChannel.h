#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

class SafeFile;
class ZipArchive;
struct SigningBlock;

// The distribution channel a store's build of a package is marked with, where the marker tools
// put it, outside what the signatures cover:
// - an APK Signing Block pair 0x71777777 holding JSON with a "channel" string (Walle);
// - an APK Signing Block pair 0x881155ff holding the name itself (VasDolly);
// - a ZIP comment ending in the name, its length as a little-endian 16-bit number and
//   "ltlovezh" (VasDolly's marker for packages signed with v1 alone, where the comment is
//   outside the signature too).
// Checked in that order. Nothing when no marker is there, when the archive was refused, or
// when the name is not UTF-8 text of at most MaxChannelLength printable characters. Reading it
// changes no signature verdict.
std::optional<QString> ReadChannel(const SafeFile &file, const ZipArchive &archive);

// The two halves, from memory: the marker pairs of a parsed block, and the archive comment.
std::optional<QString> ChannelFromBlock(const SigningBlock &block);
std::optional<QString> ChannelFromComment(QByteArrayView comment);

inline constexpr qsizetype MaxChannelLength = 256;
