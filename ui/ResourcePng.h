#pragma once

#include <QPixmap>
#include <QString>

// The PNG image at `path` (one of the program's own resources), read as PNG: a QIcon or QPixmap
// made from the path would have every image-format plugin installed loaded to guess its format.
QPixmap ResourcePng(const QString &path);
