#include "FailureText.h"

namespace {

// The wording of each code: %1, %2, … take the failure's arguments in order, and the one after
// them the text of the failure it wraps.
QString Wording(FailureCode code)
{
    switch (code) {
    case FailureCode::None:
        return {};
        // archive/

        // formats/

        // signing/

        // apk/

        // bundle/
    }
    return {};
}

// Fills every %N in one pass, so an argument that itself holds "%1" (an entry's name, say) is
// shown as it is rather than filled in again.
QString Fill(const QString &wording, const QStringList &values)
{
    QString text;
    text.reserve(wording.size());
    for (qsizetype i = 0; i < wording.size(); ++i) {
        if (wording[i] == u'%' && i + 1 < wording.size() && wording[i + 1].isDigit()) {
            const qsizetype index = wording[i + 1].digitValue() - 1;
            if (index >= 0 && index < values.size()) {
                text += values[index];
                ++i;
                continue;
            }
        }
        text += wording[i];
    }
    return text;
}

} // namespace

QString FailureText(const Failure &failure)
{
    if (!failure.failed())
        return {};
    QStringList values = failure.args;
    if (failure.cause)
        values.append(FailureText(*failure.cause));
    return Fill(Wording(failure.code), values);
}
