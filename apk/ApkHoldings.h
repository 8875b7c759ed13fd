#pragma once

#include "ContentsListing.h"
#include "DexFiles.h"

#include <QStringList>

// What one APK holds that costs and identifies its build: the DEX files Android loads, the
// frameworks its entries mark and its bytes by category, all from the central directory and a
// few entries' first bytes.
struct ApkHoldings
{
    QList<DexFile> dexFiles;
    QStringList frameworks;
    ContentsListing contents;
};

// The holdings of `archive`, opened over `file`.
ApkHoldings ReadApkHoldings(const SafeFile &file, const ZipArchive &archive);
