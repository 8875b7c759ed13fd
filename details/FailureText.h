#pragma once

#include "base/Failure.h"

#include <QString>

// A failure in Chinese, as the window, the report, the comparison and the thumbnailer show it.
// Empty for no failure.
QString FailureText(const Failure &failure);
// Each of `failures` so, in order.
QStringList FailureTexts(const QList<Failure> &failures);
