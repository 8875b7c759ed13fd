#pragma once

#include <QString>

// What the four boxes of the main window show.
struct DisplayFields
{
    QString pathText;
    QString packageText;
    QString md5Text;
    QString versionText;
};
