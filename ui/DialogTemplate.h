#pragma once

#include <QHash>
#include <QRect>

class QDialog;
class QFont;
class QWidget;

// The pixel size of one dialog unit, as quarter of the font's average character width and an
// eighth of its height.
struct DialogBaseUnits
{
    int averageCharWidth;
    int charHeight;
};

DialogBaseUnits BaseUnitsOf(const QFont &font);
QRect DialogUnitsToPixels(const QRect &units, DialogBaseUnits base);

// Turns dialog template `templateId` (res/dialog<id>.json) into widgets on `dialog`: caption,
// font, window styles, size and every control at its dialog-unit rectangle, created in
// template order so that the tab order follows it. No layouts: resizing moves nothing.
// Returns the controls that have an id of their own.
QHash<int, QWidget *> BuildFromTemplate(QDialog &dialog, int templateId);
