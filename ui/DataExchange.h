#pragma once

#include <QHash>
#include <QString>

class QWidget;

// Copies strings between a dialog's members and its edit boxes in one direction: from the
// members into the boxes, or, when saving, from the boxes back into the members.
class DataExchange
{
public:
    DataExchange(const QHash<int, QWidget *> &controls, bool saveAndValidate);
    void Text(int controlId, QString &value) const;

private:
    const QHash<int, QWidget *> &controls;
    bool saveAndValidate;
};
