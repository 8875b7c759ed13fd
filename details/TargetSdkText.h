#pragma once

#include <QDate>
#include <QString>

// The 目标 SDK row's value: the level as the package gives it, with a note when it is below what
// Google Play requires on `today` (RequiredTargetSdk) of new apps or of updates, e.g.
// "30（低于 Google Play 对新应用和更新的要求（API 35））". A codename gets no note.
QString TargetSdkText(const QString &targetSdk, QDate today);
// That note alone for target SDK `level` ("低于 Google Play 对新应用的要求（API 35）"); empty when
// the level meets both requirements.
QString PlayTargetSdkNote(int level, QDate today);
