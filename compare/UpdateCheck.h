#pragma once

#include "UpdateChanges.h"
#include "details/PackageDetails.h"
#include "details/PackageRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One side of a comparison: a package as the details window reads it.
struct ComparedPackage
{
    QByteArray path;
    // Why the package could not be read ("apk类型已经损坏"), as its front end says it; empty
    // when it was. A file that changed while it was read counts as unread too.
    QString unreadable;
    PackageDetails details;

    bool read() const { return unreadable.isEmpty() && !details.fileChanged; }
};

// A package's record as a side of a comparison: its details, or why it was not read, as the
// report's "结果:" line says it (OutcomeText).
ComparedPackage AsCompared(const PackageRecord &record);

// A rule of Android's that keeps the new package from replacing the old one.
struct UpdateReason
{
    // packageDiffers, versionUnreadable, versionDowngrade, signerDiffers, rotationNotPermitted,
    // signatureFailed, sharedUserChanged or packageUnreadable.
    QString code;
    QString text;
};

struct UpdateComparison
{
    // Every rule that fails, in the order they are checked: package name, version code,
    // signers, each package's own signature, shared user ID. A package that could not be read
    // is the only reason given.
    QList<UpdateReason> reasons;
    // Both packages were read, so the rules were applied and the changes found.
    bool bothRead = false;
    // What differs without keeping the update out.
    UpdateChanges changes;

    bool updatable() const { return reasons.isEmpty(); }
    // "可以作为更新安装", or the first reason.
    QString verdictText() const;
};

// Whether Android installs `newPackage` over `oldPackage` as an update, as its package manager
// decides: a bundle by its base's name, version and signers and by the signatures of all its
// APKs.
UpdateComparison CompareForUpdate(const ComparedPackage &oldPackage,
                                  const ComparedPackage &newPackage);

// The version code Android holds a package to in an update, versionCodeMajor in the upper 32
// bits: an installed one (`installing` false) keeps what its package parser read; a new one is
// held, before it is parsed, to both attributes found by name, and must then parse, so the lower
// of the two readings counts. Nothing when the parser would refuse the value.
std::optional<qint64> UpdateVersionCode(const PackageDetails &details, bool installing);
