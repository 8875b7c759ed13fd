#pragma once

#include <QByteArray>

class QDropEvent;

// Takes a drag or a drop of files only as a copy, whatever the source proposes: a drag offered
// as a move and accepted as one tells the source to delete the original. The first item must be
// a local file, read as the inspection will read it. Returns that file's path, or nothing when
// the event was refused.
QByteArray TakeAsCopy(QDropEvent *event);
