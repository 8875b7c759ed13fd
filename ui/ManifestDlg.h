#pragma once

#include <QDialog>

class PackageFile;
class QPlainTextEdit;
struct XmlDocument;

// The manifest window: the decoded manifest as indented XML (ManifestText) in a read-only,
// monospaced, selectable view, with "复制" (all of it to the clipboard), "保存…" (to a UTF-8
// file the user picks) and "关闭".
class CManifestDlg : public QDialog
{
    Q_OBJECT

public:
    CManifestDlg(const QString &text, const QString &packageName, QWidget *parent = nullptr);

    QPlainTextEdit *textView() const { return view; }
    QString text() const;
    // Writes what is shown to `path` as UTF-8; a message box says so when that fails.
    bool saveTo(const QString &path);
    QSize sizeHint() const override;

private:
    void save();

    QPlainTextEdit *view;
};

// Opens the manifest window for `document`, the manifest the details window loaded (a bundle's
// base's), its references named through the resource table of the APK it came from, read again
// through `file`, the inspection's open file. A file that no longer opens, or that changed
// since, gets a message instead.
void ShowManifest(const PackageFile &file, const XmlDocument &document, const QString &packageName,
                  QWidget *parent);
