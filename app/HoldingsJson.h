#pragma once

#include "apk/ApkHoldings.h"

#include <QJsonObject>
#include <QJsonValue>
#include <optional>

// A text, or null when it is empty, as the report gives an absent fact.
QJsonValue TextOrNull(const QString &text);

// `{stored, uncompressed}` for each category, under its key (CategoryKey).
QJsonObject ByCategoryObject(const std::array<StoredAndUncompressed, SizeCategoryCount> &sizes);

// The report's `dex`: `{files: [{name, version, classes, methods, fields, strings}]}`, the counts
// null for a DEX file whose header does not read; null without holdings.
QJsonValue DexValue(const std::optional<ApkHoldings> &holdings);
// The report's `frameworks`: their names; null without holdings.
QJsonValue FrameworksValue(const std::optional<ApkHoldings> &holdings);
// The report's `sizes`: `{downloadEstimate, byCategory}`, each null when not known.
QJsonObject SizesObject(const std::optional<ApkHoldings> &holdings,
                        std::optional<qint64> downloadEstimate);
