#include "SignerCheck.h"

#include "signing/ExpectedSigner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

CSignerCheck::CSignerCheck(const SignatureReport &signatures, QWidget *parent)
    : QWidget(parent), signatures(signatures), input(new QLineEdit), result(new QLabel)
{
    input->setPlaceholderText(QStringLiteral("粘贴证书 SHA-256 摘要"));
    input->setAccessibleName(QStringLiteral("预期签名者"));
    input->setClearButtonEnabled(true);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(input, 1);
    layout->addWidget(result);
    connect(input, &QLineEdit::textChanged, this, &CSignerCheck::check);
}

QString CSignerCheck::verdict() const
{
    return result->text();
}

void CSignerCheck::check(const QString &text)
{
    const QString pasted = text.trimmed();
    const QByteArray digest = ParseSha256Fingerprint(pasted);
    if (pasted.isEmpty())
        result->clear();
    else if (digest.isEmpty())
        result->setText(QStringLiteral("不是 SHA-256 摘要"));
    else
        result->setText(SignedByExpected(signatures, {digest}) ? QStringLiteral("符合")
                                                               : QStringLiteral("不符合"));
}
