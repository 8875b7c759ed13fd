#pragma once

#include "SigningBlock.h"

#include <optional>

// Checks that hold between signers and between schemes, made once every scheme present has
// verified on its own.

// Whether a v2 signer says a v3 block must be present and there is none.
bool V3Stripped(const SigningBlock &block);
// Whether a v3 signer says a v3.1 block takes over from some SDK version and there is none.
bool V31Stripped(const SigningBlock &block);
// Whether a v3 signer says the v3.1 block takes over from another SDK version than the lowest
// minimum of the v3.1 signers.
bool RotationMinSdkDisagrees(const SigningBlock &block);

// Why the signers of one v3 or v3.1 block do not sign for each platform from `lowest` through
// `highest` exactly once, or nothing: a signer for a development release may share its first
// level with the one before it. Each signer's range is known to be a range.
std::optional<Failure> CoverageProblem(const QList<SchemeSigner> &signers, int lowest, int highest);

// Whether the schemes that decide were signed by the same signer: the JAR signers'
// certificates `jarCertificates` (empty when v1 does not decide) are the v2 signers' (when
// `v2Decides`), and each v3 and v3.1 signer is that signer or descends from it through its
// rotation lineage.
bool SignersAgree(const QList<QByteArray> &jarCertificates, const SigningBlock &block,
                  bool v2Decides);
