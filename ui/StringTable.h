#pragma once

#include <QString>

// A string of the program's string table (res/strings.json); empty when there is none.
QString LoadResourceString(int id);
