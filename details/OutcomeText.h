#pragma once

#include "inspect/Inspection.h"

#include <QString>

// What became of an inspection, in a word or two: "正常", the window's message and why
// ("apk类型已经损坏（文件在检查期间被修改）"), or where the window shows none, "工具未给出包名"
// or "无法读取文件". The report's "结果:" line and a comparison of a package not read say it.
QString OutcomeText(const InspectionResult &result);
// Why the package is damaged, when more is known than the message says (the report's
// "reason"); empty otherwise.
QString ReasonText(const InspectionResult &result);
