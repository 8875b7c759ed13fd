#pragma once

#include <QByteArray>

// The application object: runs the main dialog for the whole life of the program.
class CPelmoraApp
{
public:
    // `startupFile`: a package to inspect once the window is shown (the name's bytes), or empty.
    explicit CPelmoraApp(const QByteArray &startupFile = {}) : startupFile(startupFile) {}

    // Runs the main dialog modally; returns false once it has closed, so no other loop starts.
    bool InitInstance();

private:
    QByteArray startupFile;
};
