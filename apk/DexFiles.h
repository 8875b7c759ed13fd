#pragma once

#include "DexHeader.h"

#include <QByteArray>
#include <QList>

class ZipArchive;

// One DEX file that Android loads from a package, and what its header says.
struct DexFile
{
    QByteArray name;
    qint64 size = 0; // as the archive declares it, uncompressed
    DexHeaderReading reading;
};

// The names of the DEX files Android's runtime loads at an app's start, in its order:
// classes.dex, then classes2.dex, classes3.dex and on for as long as the next one is there. A
// classes1.dex, classes02.dex, a DEX file in a folder or one after a gap in the numbers is not
// code the app starts with.
QList<QByteArray> LoadedDexNames(const ZipArchive &archive);

// Each of them with its header, read from the entry's first bytes (DexHeaderBytes) only.
QList<DexFile> ReadDexFiles(const ZipArchive &archive);
