#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

// A layer's android:drawable as written: its type (a ValueType: a reference, or a colour held
// in place) and its data.
struct DrawableValue
{
    quint8 type = 0;
    quint32 data = 0;
};

// The background and foreground of an adaptive icon, each absent when the drawable names none.
struct AdaptiveIconXml
{
    std::optional<DrawableValue> background;
    std::optional<DrawableValue> foreground;
};

// Reads a binary <adaptive-icon> document with libandroidfw (in the formats module only).
// Nothing when the bytes are no binary XML or its root is not <adaptive-icon>.
std::optional<AdaptiveIconXml> ReadAdaptiveIconXml(QByteArrayView xml);
