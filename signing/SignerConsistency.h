#pragma once

#include "SigningBlock.h"

// Checks that hold between signers and between schemes, made once every scheme present has
// verified on its own.

// Whether a v2 signer says a v3 block must be present and there is none.
bool V3Stripped(const SigningBlock &block);
// Whether a v3 signer says a v3.1 block takes over from some SDK version and there is none.
bool V31Stripped(const SigningBlock &block);

// Whether each v3 signer's SDK range is a range (minimum not above maximum) and no two of them
// cover the same platform version.
bool V3RangesDisjoint(const QList<SchemeSigner> &signers);

// Whether the schemes present were signed by the same signer: the JAR signers' certificates
// `jarCertificates` are the v2 signers', and each v3 signer is the v2 (else JAR) signer or
// descends from it through its rotation lineage.
bool SignersAgree(const QList<QByteArray> &jarCertificates, const SigningBlock &block);
