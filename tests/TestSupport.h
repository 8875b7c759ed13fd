#pragma once

#include <QString>

// A package for the tests, built with the real aapt against the framework's resources.
struct TestPackage
{
    QString packageName;
    QString versionName; // null: the manifest has no versionName at all
    QString label;
    int minSdkVersion = 0; // 0: the manifest names none
};

// Builds `package` into `directory`/`fileName` and returns the file's path (empty on failure).
QString BuildTestPackage(const QString &directory, const QString &fileName,
                         const TestPackage &package);

// Whether this process is a copy started by RunCopyBesideTool.
bool RunningInCopy();

// Copies this test executable into a fresh directory, whose name holds blanks, quotes and "$(",
// with an "aapt" there that links to `tool` (no aapt at all when `tool` is empty), and runs
// `testFunction` in that copy, started through a symlink from another directory when
// `throughLink` is set. Returns the copy's exit code.
int RunCopyBesideTool(const QString &tool, const QString &testFunction,
                      const QString &toolMode = {}, bool throughLink = false);
