#pragma once

#include <QString>

// The directory that holds the running executable, with symlinks resolved, so that a program
// started through a link in bin/ still finds the tool installed beside its real file.
// Empty when it cannot be known (no application object yet).
QString ProgramDirectory();
