// The cold-start baseline: the smallest Qt 6 dialog that shows a line of text.
#include <QApplication>
#include <QDialog>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QDialog dialog;
    QLabel label(QStringLiteral("apk信息提取"), &dialog);
    dialog.resize(560, 190);
    return dialog.exec();
}
