#pragma once

#include <QString>
#include <QStringList>

// Fills `command` with {<program dir>/aapt, dump, badging, packagePath}. The path travels as one
// argument of its own, never as quoted text, and nothing is searched on PATH.
// Returns 1 on success; 0 for a null path or an unknown program directory, leaving `command`
// as it was.
int BuildBadgingCommand(QStringList &command, const QString &packagePath);
