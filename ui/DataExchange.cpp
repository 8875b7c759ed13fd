#include "DataExchange.h"

#include <QLineEdit>

DataExchange::DataExchange(const QHash<int, QWidget *> &controls, bool saveAndValidate)
    : controls(controls), saveAndValidate(saveAndValidate)
{
}

void DataExchange::Text(int controlId, QString &value) const
{
    auto *edit = qobject_cast<QLineEdit *>(controls.value(controlId));
    Q_ASSERT(edit);
    if (saveAndValidate)
        value = edit->text();
    else
        edit->setText(value);
}
