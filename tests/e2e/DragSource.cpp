// A file manager's stand-in for the end-to-end test: a window that starts a drag of the files
// named on its command line when the mouse is pressed and moved on it.
//   --propose-move  offers copy or move and proposes a move (as Shift does in a file manager);
//                   like a file manager, it deletes the files when the target took a move
//   --raw-uri       the arguments are URIs, sent as the text/uri-list bytes exactly as given
// When the drag ends it prints what the target did: "copy", "move" or "ignore".
#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <cstdio>

namespace {

class DragSource : public QLabel
{
public:
    DragSource(const QStringList &items, bool proposeMove, bool rawUri)
        : QLabel(QStringLiteral("drag source")), items(items), proposeMove(proposeMove),
          rawUri(rawUri)
    {
        setWindowTitle(QStringLiteral("drag source"));
        setAlignment(Qt::AlignCenter);
        resize(200, 150);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override { pressedAt = event->position().toPoint(); }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (dragged || !(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - pressedAt).manhattanLength() <
                QApplication::startDragDistance())
            return;
        dragged = true;
        auto *data = new QMimeData;
        if (rawUri) {
            QByteArray list;
            for (const QString &uri : items)
                list += uri.toLatin1() + "\r\n";
            data->setData(QStringLiteral("text/uri-list"), list);
        } else {
            QList<QUrl> urls;
            for (const QString &path : items)
                urls.append(QUrl::fromLocalFile(path));
            data->setUrls(urls);
        }
        // On the heap: the X11 drop target asks for the data after exec() has returned, and Qt
        // keeps the drag alive for that and deletes it itself.
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done =
            proposeMove ? drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction)
                        : drag->exec(Qt::CopyAction);
        if (done == Qt::MoveAction && !rawUri)
            for (const QString &path : items)
                QFile::remove(path);
        std::printf("%s\n", done == Qt::CopyAction   ? "copy"
                            : done == Qt::MoveAction ? "move"
                                                     : "ignore");
        std::fflush(stdout);
    }

private:
    QStringList items;
    bool proposeMove;
    bool rawUri;
    bool dragged = false;
    QPoint pressedAt;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QStringList items = QApplication::arguments().mid(1);
    const bool proposeMove = items.removeAll(QStringLiteral("--propose-move")) > 0;
    const bool rawUri = items.removeAll(QStringLiteral("--raw-uri")) > 0;
    DragSource source(items, proposeMove, rawUri);
    source.show();
    return application.exec();
}
