#pragma once

#include <QDialog>

// The about box: the program's name, version and credit, closed with its OK button.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};
