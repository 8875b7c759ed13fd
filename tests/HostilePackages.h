#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

// Hostile packages made from real ones, as an attacker would make them, for the signature
// tests and the benchmark. Each works on a package's bytes whose end record has no comment.

// `signedPackage` and `other` in one file that reads two ways: the signed entries, the other
// entries, the signed central directory and its end record, whose comment runs over the other
// central directory and end record to the end of the file.
QByteArray WithSecondArchive(const QByteArray &signedPackage, const QByteArray &other);

// Every central directory record whose name `aliased` picks followed by `copies` more records
// pointing at the same local entry, the n-th named with n before the extension ("CERT7.SF").
QByteArray WithAliases(const QByteArray &package,
                       const std::function<bool(const QByteArray &name)> &aliased, int copies);

// The package with its APK Signing Block's pairs replaced by what `rewrite` makes of each
// (its id and value, the bytes of zero or more whole pairs in return).
QByteArray
WithBlockPairs(const QByteArray &package,
               const std::function<QByteArray(quint32 id, const QByteArray &value)> &rewrite);

// One pair of a signing block.
QByteArray BlockPair(quint32 id, const QByteArray &value);

// Writes META-INF/MANIFEST.MF, META-INF/CERT.SF and META-INF/CERT.RSA under `directory`: a
// manifest whose only section, for `entryName` holding `entryBytes`, is padded to about
// `sectionSize` bytes, and a signature file naming that section `repeats` times, signed by
// `openssl` with `key` and `certificate` (PEM). Returns the three names relative to
// `directory`, or nothing when openssl fails.
QStringList WriteRepeatedSectionSignature(const QString &directory, const QString &openssl,
                                          const QString &key, const QString &certificate,
                                          const QByteArray &entryName, const QByteArray &entryBytes,
                                          qint64 sectionSize, int repeats);

// Resources (paths under res/ and bytes) for an icon "@drawable/l0" behind `levels` levels of
// aliases, each level defined in `configurations` configurations (1 to 29) and naming the next;
// the last names "@drawable/leaf": the file `leafFile` under res/ holding `leaf`, or, when
// `leafFile` is empty, `leaf` itself (a colour such as "#3366ff") in each of the configurations.
// Looking the icon up in every configuration multiplies: configurations to the power of levels.
QList<std::pair<QString, QByteArray>> AliasedIcon(int levels, int configurations,
                                                  const QString &leafFile, const QByteArray &leaf);
