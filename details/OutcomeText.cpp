#include "OutcomeText.h"

#include "FailureText.h"
#include "ShownDetails.h"

QString ReasonText(const InspectionResult &result)
{
    return result.bundleProblem.failed() ? FailureText(result.bundleProblem) : result.reason;
}

QString OutcomeText(const InspectionResult &result)
{
    if (const QString reason = ReasonText(result); !reason.isEmpty())
        return QStringLiteral("%1（%2）").arg(result.message, EscapeControls(reason));
    if (!result.message.isNull())
        return result.message;
    switch (result.outcome) {
    case InspectionOutcome::ToolSilent:
        return QStringLiteral("工具未给出包名");
    case InspectionOutcome::Unreadable:
        return QStringLiteral("无法读取文件");
    default:
        return QStringLiteral("正常");
    }
}
