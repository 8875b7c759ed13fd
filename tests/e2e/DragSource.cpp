// A file manager's stand-in for the end-to-end test: a window that starts a drag of the files
// named on its command line when the mouse is pressed and moved on it.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {

class DragSource : public QLabel
{
public:
    explicit DragSource(const QList<QUrl> &files)
        : QLabel(QStringLiteral("drag source")), files(files)
    {
        setWindowTitle(QStringLiteral("drag source"));
        setAlignment(Qt::AlignCenter);
        resize(200, 150);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override { pressedAt = event->position().toPoint(); }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - pressedAt).manhattanLength() <
                QApplication::startDragDistance())
            return;
        auto *data = new QMimeData;
        data->setUrls(files);
        // On the heap: the X11 drop target asks for the data after exec() has returned, and Qt
        // keeps the drag alive for that and deletes it itself.
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QList<QUrl> files;
    QPoint pressedAt;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QList<QUrl> files;
    for (const QString &path : QApplication::arguments().mid(1))
        files.append(QUrl::fromLocalFile(path));
    DragSource source(files);
    source.show();
    return application.exec();
}
