#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Reads the list of paths `--files-from` names, a block at a time so that a list of millions
// never sits in memory whole: entries end at `separator` ('\0' or '\n') or at the list's end,
// each handed to `take` as its bytes stand; empty ones are skipped. "-" reads standard input,
// and a pipe or FIFO reads as well as a file. Returns false with `error` set, in Chinese, when
// the list cannot be opened or read to its end.
bool ReadFileList(const QByteArray &list, char separator,
                  const std::function<void(const QByteArray &)> &take, QString &error);
