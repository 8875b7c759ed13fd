#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// The file `--output` names: JSON Lines, one record a line. Each record goes to the file's end
// by one write; a write that comes back short is finished by another, and one that fails is cut
// off again, so the file only ever ends in part of a record when the process died while writing
// it. An exclusive lock (flock) keeps every other run off the file while it is open.
class ReportOutput
{
public:
    explicit ReportOutput(const QByteArray &path) : path(path) {}
    ~ReportOutput();
    ReportOutput(const ReportOutput &) = delete;
    ReportOutput &operator=(const ReportOutput &) = delete;

    // Opens the file for appending, creating it, and locks it. Without `resume` it must be
    // empty. With `resume` every whole line must be a record that names its file (RecordPath),
    // and a partial last line is then cut off. Returns false with `error` set, in Chinese, when
    // the file is refused; nothing in it was changed then.
    bool open(bool resume, bool signersExpected, QString &error);
    // The paths the file held whole records of when it was opened.
    const QSet<QByteArray> &recordedPaths() const { return recorded; }
    // Whether every one of those records passed (RecordPassed).
    bool recordsPassed() const { return passed; }

    // Appends one record, a line ending in '\n'. Returns false with `error` set when it could
    // not be written whole; the file then ends where it did before.
    bool append(const QByteArray &record, QString &error);
    // Puts what was appended on the storage. Returns false with `error` set when it failed.
    bool finish(QString &error);

private:
    // Reads the records of a file to resume; returns the length of its whole lines, or -1 with
    // `error` set when it holds anything but records.
    qint64 readRecords(bool signersExpected, QString &error);
    QString failed(const char *what, int error) const;

    QByteArray path;
    int fd = -1;
    QSet<QByteArray> recorded;
    bool passed = true;
};
