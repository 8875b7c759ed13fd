#pragma once

#include "DisplayFields.h"
#include "InspectedPackage.h"
#include "ToolCapture.h"
#include "base/Failure.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

class ByteSink;

enum class InspectionOutcome
{
    Ok,         // the tool named the package and the file was read
    WrongType,  // an extension that does not start with ".apk"
    Folder,     // no extension at all
    Damaged,    // the tool found the package damaged, died, or ran or wrote past its limits
    ToolSilent, // the tool is missing, printed nothing, or named no package
    Unreadable, // the file does not open as a regular file (gone, a folder, a FIFO, no access)
};

// What one inspection found, for any front end to show.
struct InspectionResult
{
    InspectionOutcome outcome = InspectionOutcome::Ok;
    // The four values for the boxes. After an error the path, package and MD5 are empty and
    // the version box keeps what it showed before.
    DisplayFields fields;
    bool keepsVersion = false;
    // The message the window shows before it refreshes its boxes; null when there is none.
    QString message;
    // Why a package is damaged, when more is known than the message says: a file changed while
    // it was inspected, a tool that ran or wrote past its limits. Empty otherwise.
    QString reason;
    // Why a bundle is damaged (past a limit, no base); details/ words it as the reason.
    Failure bundleProblem;
    // What was read, as far as the inspection got: set whenever the file opened and the tool
    // ran, refused or not (the report judges a refused archive's signatures from it).
    std::optional<InspectedPackage> inspected;
    // Set when a package is shown: what later windows need of it.
    std::optional<InspectedPackage> package;
};

// What the inspection's one read of the file computes while the tool runs.
enum class InspectionRead
{
    // The MD5 the window shows, given up once the tool has said "ERROR".
    Md5,
    // Everything a report record carries: the file's MD5, SHA-1 and SHA-256 and the signature
    // check's content and entry digests (InspectedPackage::reading), read to the end whatever
    // the tool says, since a refused package's signatures are judged too.
    Everything,
};

// The one inspection: the extension rule, then the badging tool and the MD5, the file hashed
// while the tool runs. `path` holds the name's bytes as the file system has them; the file is
// opened once, and the tool and every read go through that one open file (PackageFile), which
// must be kept to one content (a lease, or a copy; a file open for writing elsewhere is damaged)
// and still be as it was opened once all is read. A bundle's base, when the bundle stores it as it
// is, is copied for the tool from that same read as it goes by, and the tool starts once it is in.
// The tool may run for `toolTimeout` and write MaxToolOutput bytes; one still running past
// either is killed, and the package is damaged ("工具超时", "工具输出超过上限"). Runs on the
// calling thread and touches no widget, so windows and scripts share it. `progress`, when given,
// is fed every chunk the read takes in too, for a progress bar.
InspectionResult InspectPackage(const QByteArray &path, InspectionRead read = InspectionRead::Md5,
                                ByteSink *progress = nullptr,
                                std::chrono::milliseconds toolTimeout = DefaultToolTimeout);

// Why a regular file cannot be read as one content, when it is not kept to one: another program
// has it open for writing, or it can be neither leased nor copied.
QString NotKeptReason(const PackageFile &package);

// Why an inspected file is no longer the one that was read, as a report's reason says it: another
// program opened it for writing since, or it changed.
QString ChangedReason(const PackageFile &file);
// A file that changed while it was inspected is damaged ("apk类型已经损坏", ChangedReason), and
// the windows keep the version they showed: makes `result` say so, wherever the change is found.
void RefuseAsChanged(InspectionResult &result, const PackageFile &file);
