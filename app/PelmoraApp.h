#pragma once

// The application object: runs the main dialog for the whole life of the program.
class CPelmoraApp
{
public:
    // Runs the main dialog modally; returns false once it has closed, so no other loop starts.
    bool InitInstance();
};
