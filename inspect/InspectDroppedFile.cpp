#include "LocalPath.h"
#include "ui/PelmoraDlg.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>

namespace {

// The first dropped file as the file system's bytes: read from the raw URI list, since QUrl
// would turn a name that is not UTF-8 into text and lose bytes.
QByteArray FirstDroppedPath(const QDropEvent *drop)
{
    const QMimeData *data = drop->mimeData();
    const QString uriList = QStringLiteral("text/uri-list");
    if (data->hasFormat(uriList))
        return FirstLocalPathOfUriList(data->data(uriList));
    const QList<QUrl> urls = data->urls();
    return urls.isEmpty() ? QByteArray() : QFile::encodeName(urls.first().toLocalFile());
}

} // namespace

void CPelmoraDlg::InspectDroppedFile(QDropEvent *drop)
{
    if (InspectFile(FirstDroppedPath(drop)))
        QDialog::dropEvent(drop);
}
