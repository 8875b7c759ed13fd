#pragma once

#include "signing/SignatureReport.h"

// One row of the signature section: a label and the text beside it.
struct LabelledValue
{
    QString label;
    QString value;
    bool multiLine = false;
};

// "v1 (JAR), v2, v3": the schemes present, verified or not; "无" when there is none.
QString SchemesPresentText(const SignatureReport &report);
// Why the package failed, the first reason found; empty unless its verdict is Failed.
QString FailureReason(const SignatureReport &report);
// The failure that reason words (a scheme's without the scheme's name); no failure unless the
// verdict is Failed.
Failure DecidingFailure(const SignatureReport &report);
// "通过", "未签名" or "失败：" with the first reason, on one line.
QString VerdictText(const SignatureReport &report);
// The same words for any verdict; `failure` follows "失败：".
QString VerdictText(SignatureVerdict verdict, const QString &failure);
// One line per scheme: "v1: 通过", "v2: 失败：…", "v3: 无".
QString SchemeLinesText(const SignatureReport &report);

// A certificate's validity, "2026-12-08 21:50:14 至 2036-12-05 21:50:14 (UTC)", and its key,
// "RSA 2048 位".
QString ValidityText(const CertificateFacts &facts);
QString PublicKeyText(const CertificateFacts &facts);

// The whole section, row by row, ready to show: the three verdict rows, then each signer's
// certificate facts in order; when the schemes were signed by different signers, every
// scheme's signers, each block headed "签名者 (vN)".
QList<LabelledValue> DescribeSignatures(const SignatureReport &report);
