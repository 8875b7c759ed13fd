#include "MessageBox.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>

namespace {
// Wide enough that a window manager's title bar shows the caption rather than "...".
constexpr int MinimumWidth = 220;
} // namespace

void ShowMessage(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(MinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}
