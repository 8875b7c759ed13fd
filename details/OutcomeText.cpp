#include "OutcomeText.h"

#include "ShownDetails.h"

QString OutcomeText(const InspectionResult &result)
{
    if (!result.reason.isEmpty())
        return QStringLiteral("%1（%2）").arg(result.message, EscapeControls(result.reason));
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
