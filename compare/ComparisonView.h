#pragma once

#include "UpdateCheck.h"
#include "details/DetailsSection.h"

#include <QList>
#include <QString>

// One fact of both packages, side by side, as shown: every value taken from a package has its
// control characters written out.
struct ComparedRow
{
    QString label;
    QString oldValue;
    QString newValue;
    bool isList = false; // one item a line

    bool differs() const { return oldValue != newValue; }
};

// The facts the comparison window sets side by side, in its order: identity, versions and SDK
// levels, permissions, native code, the file, then the signers the newest platform verifies
// each package with. A package that could not be read shows its path and why.
QList<ComparedRow> ComparedRows(const ComparedPackage &oldPackage,
                                const ComparedPackage &newPackage);

// "可以作为更新安装" or the first rule that fails, every rule that fails, and the changes.
DetailsSection VerdictSection(const UpdateComparison &comparison);

// The whole comparison as "复制全部" copies it and `pelmora --compare` prints it: the verdict
// section, then each package's rows under 【旧包】 and 【新包】.
QList<DetailsSection> ComparisonSections(const UpdateComparison &comparison,
                                         const QList<ComparedRow> &rows);
