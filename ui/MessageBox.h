#pragma once

class QString;
class QWidget;

// A modal message with one OK button and no icon, captioned with the application's name.
void ShowMessage(QWidget *parent, const QString &text);
