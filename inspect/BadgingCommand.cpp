#include "BadgingCommand.h"

#include "base/ProgramDirectory.h"

int BuildBadgingCommand(QStringList &command, const QString &packagePath)
{
    if (packagePath.isNull())
        return 0;
    const QString directory = ProgramDirectory();
    if (directory.isEmpty())
        return 0;
    command = {directory + QStringLiteral("/aapt"), QStringLiteral("dump"),
               QStringLiteral("badging"), packagePath};
    return 1;
}
