#pragma once

#include "signing/SignatureReport.h"

#include <QWidget>

class QLabel;
class QLineEdit;

// The 签名 section's "预期签名者" field: a certificate SHA-256 pasted in (with or without colons,
// in either case) is checked as `--expect-signer` checks it, against the signer the newest
// platform verifies the package with, and the field says "符合" or "不符合" beside it.
class CSignerCheck : public QWidget
{
    Q_OBJECT

public:
    explicit CSignerCheck(const SignatureReport &signatures, QWidget *parent = nullptr);

    QString verdict() const;

private:
    void check(const QString &text);

    SignatureReport signatures;
    QLineEdit *input;
    QLabel *result;
};
