#pragma once

#include "apk/PackageExposure.h"

#include <QDate>
#include <QList>
#include <QString>

enum class FindingSeverity
{
    High,
    Medium,
    Low,
};

// One thing about what a package exposes that a reviewer should look at.
struct Finding
{
    QString code; // stable, lower-case and hyphenated ("debuggable"), as the README lists them
    FindingSeverity severity;
    QString message; // a Chinese sentence
};

// The findings over `exposure`, the most severe first; Google Play's requirements as of `today`.
QList<Finding> ExposureFindings(const PackageExposure &exposure, QDate today);

// "高", "中", "低".
QString SeverityText(FindingSeverity severity);
// "high", "medium", "low", as the report writes it.
QString SeverityKey(FindingSeverity severity);
