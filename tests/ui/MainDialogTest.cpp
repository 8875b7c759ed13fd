// The main dialog and the about box as built from their templates (offscreen).
#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/PelmoraApp.h"
#include "ui/AboutDlg.h"
#include "ui/PelmoraDlg.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Pixels of a dialog-unit rectangle, from the dialog font's own metrics.
QRect Pixels(const QWidget &dialog, const QRect &units)
{
    const QFontMetrics metrics(dialog.font());
    const double averageWidth = (metrics.horizontalAdvance(QStringLiteral(
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) +
                                 26) /
                                52;
    const auto x = [&](int u) { return qRound(u * averageWidth / 4.0); };
    const auto y = [&](int u) { return qRound(u * metrics.height() / 8.0); };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

// The control of `dialog` that is a `kind` with this id, or, for id -1, this text.
QWidget *FindControl(const CPelmoraDlg &dialog, int id, const QString &text)
{
    if (id != -1)
        return dialog.GetDlgItem(id);
    for (QWidget *child : dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (auto *label = qobject_cast<QLabel *>(child); label && label->text() == text)
            return label;
        if (auto *group = qobject_cast<QGroupBox *>(child); group && group->title() == text)
            return group;
    }
    return nullptr;
}

// Runs `whileOpen` once a modal window other than `owner` or a popup menu has opened during
// `action`, then closes what opened with `close`. Returns whether anything opened.
bool WhenSomethingOpens(QWidget *owner, const std::function<void()> &action,
                        const std::function<void(QWidget *)> &whileOpen)
{
    bool opened = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget *open = QApplication::activePopupWidget();
        if (!open && QApplication::activeModalWidget() != owner)
            open = QApplication::activeModalWidget();
        if (!open || opened)
            return;
        opened = true;
        whileOpen(open);
    });
    watcher.start(10);
    action();
    return opened;
}

} // namespace

class MainDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void window();
    void boxesAreReadOnlyAndMd5ShowsCapitals();
    void resizingMovesNothing();
    void tabOrderFollowsTheTemplate();
    void windowMenu();
    void menuOpensByRightClickAndKeyboard_data();
    void menuOpensByRightClickAndKeyboard();
    void systemCommands_data();
    void systemCommands();
    void enterAndEscapeClose_data();
    void enterAndEscapeClose();
    void aboutBox();
    void applicationEndsWhenTheDialogCloses();
    void commandLine_data();
    void commandLine();
};

void MainDialogTest::controls_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QString>("accessibleName");

    const QString edit = QStringLiteral("QLineEdit"), label = QStringLiteral("QLabel");
    QTest::newRow("1000 path") << 1000 << edit << QString() << QRect(14, 20, 285, 16)
                               << QStringLiteral("单文件处理区");
    QTest::newRow("1006 package") << 1006 << edit << QString() << QRect(45, 52, 254, 14)
                                  << QStringLiteral("包名");
    QTest::newRow("1007 md5") << 1007 << edit << QString() << QRect(45, 68, 254, 14)
                              << QStringLiteral("MD5值");
    QTest::newRow("package label")
        << -1 << label << QStringLiteral("包名    :") << QRect(15, 55, 26, 8) << QString();
    QTest::newRow("md5 label") << -1 << label << QStringLiteral("MD5值:") << QRect(15, 70, 24, 8)
                               << QString();
    QTest::newRow("group") << -1 << QStringLiteral("QGroupBox") << QStringLiteral("单文件处理区")
                           << QRect(8, 8, 299, 77) << QString();
    QTest::newRow("hint") << -1 << label << QStringLiteral("注意：支持文件及文件夹的拖拽")
                          << QRect(202, 37, 102, 8) << QString();
    QTest::newRow("version label")
        << -1 << label << QStringLiteral("版本号 :") << QRect(15, 41, 26, 8) << QString();
    QTest::newRow("1009 version") << 1009 << edit << QString() << QRect(45, 38, 124, 12)
                                  << QStringLiteral("版本号");
}

void MainDialogTest::controls()
{
    QFETCH(int, id);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, units);
    QFETCH(QString, accessibleName);
    CPelmoraDlg dialog;
    QWidget *control = FindControl(dialog, id, text);
    QVERIFY(control);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
    QCOMPARE(control->geometry(), Pixels(dialog, units));
    if (!accessibleName.isEmpty())
        QCOMPARE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name),
                 accessibleName);
}

void MainDialogTest::window()
{
    CPelmoraDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("apk信息提取"));
    QCOMPARE(dialog.size(), Pixels(dialog, QRect(0, 0, 320, 97)).size());
    QCOMPARE(dialog.font().family(), QStringLiteral("MS Shell Dlg"));
    QCOMPARE(dialog.font().pointSize(), 9);
    QVERIFY(dialog.acceptDrops());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog.minimumSize() != dialog.maximumSize()); // resizable
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.windowIcon().pixmap(247, 247).size(), QSize(247, 247));
}

void MainDialogTest::boxesAreReadOnlyAndMd5ShowsCapitals()
{
    CPelmoraDlg dialog;
    for (int id : {1000, 1006, 1007, 1009}) {
        auto *box = qobject_cast<QLineEdit *>(dialog.GetDlgItem(id));
        QVERIFY(box->isReadOnly());
        box->setText(QStringLiteral("abc def"));
        box->selectAll();
        QCOMPARE(box->selectedText(),
                 id == 1007 ? QStringLiteral("ABC DEF") : QStringLiteral("abc def"));
    }
}

void MainDialogTest::resizingMovesNothing()
{
    CPelmoraDlg dialog;
    dialog.show();
    const QList<QWidget *> children = dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QList<QRect> before;
    for (const QWidget *child : children)
        before.append(child->geometry());
    for (const QSize size : {QSize(900, 600), QSize(200, 80), dialog.size()}) {
        dialog.resize(size);
        QCoreApplication::processEvents();
        for (qsizetype i = 0; i < children.size(); ++i)
            QCOMPARE(children[i]->geometry(), before[i]);
    }
}

void MainDialogTest::tabOrderFollowsTheTemplate()
{
    CPelmoraDlg dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QWidget *first = dialog.GetDlgItem(1000);
    first->setFocus();
    QCOMPARE(QApplication::focusWidget(), first);
    for (int id : {1006, 1007, 1009, 1000}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.GetDlgItem(id));
    }
}

void MainDialogTest::windowMenu()
{
    CPelmoraDlg dialog;
    QStringList items;
    for (const QAction *action : dialog.GetSystemMenu()->actions())
        items.append(action->isSeparator()
                         ? QStringLiteral("-")
                         : action->text() + u'\t' + action->shortcut().toString());
    QCOMPARE(items,
             (QStringList{QStringLiteral("打开(&O)...\tCtrl+O"),
                          QStringLiteral("详细信息(&D)...\tCtrl+I"),
                          QStringLiteral("与另一个包比较(&M)...\t"), QStringLiteral("关闭(&C)\t"),
                          QStringLiteral("-"), QStringLiteral("关于 Pelmora(&A)...\t")}));

    dialog.show();
    bool aboutShown = false;
    QVERIFY(WhenSomethingOpens(
        &dialog, [&] { dialog.GetSystemMenu()->actions().last()->trigger(); },
        [&](QWidget *open) {
            aboutShown = qobject_cast<CAboutDlg *>(open) && open->isModal();
            qobject_cast<QDialog *>(open)->accept();
        }));
    QVERIFY(aboutShown);
    QVERIFY(dialog.isVisible());

    dialog.GetSystemMenu()->actions().at(items.indexOf(QStringLiteral("关闭(&C)\t")))->trigger();
    QVERIFY(!dialog.isVisible());
}

void MainDialogTest::menuOpensByRightClickAndKeyboard_data()
{
    QTest::addColumn<int>("way");
    // The context-menu key becomes a context-menu event in the X11 platform plugin, so the
    // end-to-end test covers it.
    QTest::newRow("right click") << 0;
    QTest::newRow("Shift+F10") << 1;
    QTest::newRow("context-menu key while a box has the focus") << 2;
}

void MainDialogTest::menuOpensByRightClickAndKeyboard()
{
    QFETCH(int, way);
    CPelmoraDlg dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // A spot of the dialog itself, away from the boxes (which have their own edit menu).
    const QPoint spot(4, dialog.height() - 4);
    QWidget *opened = nullptr;
    QVERIFY(WhenSomethingOpens(
        &dialog,
        [&] {
            if (way == 0) {
                QContextMenuEvent event(QContextMenuEvent::Mouse, spot, dialog.mapToGlobal(spot));
                QApplication::sendEvent(&dialog, &event);
            } else if (way == 1) {
                QTest::keyClick(&dialog, Qt::Key_F10, Qt::ShiftModifier);
            } else {
                QWidget *box = dialog.GetDlgItem(1006);
                QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                        box->mapToGlobal(QPoint(2, 2)));
                QApplication::sendEvent(box, &event);
            }
        },
        [&](QWidget *open) {
            opened = open;
            open->close();
        }));
    QCOMPARE(opened, dialog.GetSystemMenu());
}

void MainDialogTest::systemCommands_data()
{
    QTest::addColumn<uint>("command");
    QTest::addColumn<bool>("opensAbout");
    QTest::addColumn<bool>("closes");
    QTest::newRow("about") << 0x0010u << true << false;
    QTest::newRow("about, low bits set") << 0x001Fu << true << false;
    QTest::newRow("close") << 0xF060u << false << true;
    QTest::newRow("close, low bits set") << 0xF063u << false << true;
    QTest::newRow("minimise: left to the window manager") << 0xF020u << false << false;
    QTest::newRow("unknown") << 0x0050u << false << false;
    QTest::newRow("details while no package is shown") << 0x0030u << false << false;
    QTest::newRow("compare while no package is shown") << 0x0040u << false << false;
}

void MainDialogTest::systemCommands()
{
    QFETCH(uint, command);
    QFETCH(bool, closes);
    CPelmoraDlg dialog;
    dialog.show();
    const bool opened = WhenSomethingOpens(
        &dialog, [&] { dialog.OnSysCommand(command); }, [](QWidget *open) { open->close(); });
    QTEST(opened, "opensAbout");
    QCOMPARE(!dialog.isVisible(), closes);
}

void MainDialogTest::enterAndEscapeClose_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("Esc") << int(Qt::Key_Escape) << int(QDialog::Rejected);
}

void MainDialogTest::enterAndEscapeClose()
{
    QFETCH(int, key);
    CPelmoraDlg dialog;
    QTimer::singleShot(0, [&] { QTest::keyClick(dialog.GetDlgItem(1006), Qt::Key(key)); });
    QTEST(dialog.exec(), "result");
}

void MainDialogTest::aboutBox()
{
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("关于 Pelmora"));
    QCOMPARE(about.size(), Pixels(about, QRect(0, 0, 179, 74)).size());
    QCOMPARE(about.minimumSize(), about.maximumSize()); // fixed size
    QStringList texts;
    const QLabel *icon = nullptr;
    for (const QLabel *label : about.findChildren<QLabel *>()) {
        texts.append(label->text());
        if (!label->pixmap().isNull())
            icon = label;
    }
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), Pixels(about, QRect(14, 14, 20, 20)));
    QVERIFY(texts.contains(QStringLiteral("apk信息提取工具，1.0 版")));
    QVERIFY(std::any_of(texts.begin(), texts.end(), [](const QString &t) {
        return t.contains(QStringLiteral("2014")) && !t.contains(u'\n');
    }));
    QVERIFY(std::any_of(texts.begin(), texts.end(), [](const QString &t) {
        return t.split(u'\n').size() == 2 && t.split(u'\n').last() == QStringLiteral("10.12");
    }));

    auto *ok = about.findChild<QPushButton *>();
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    QVERIFY(ok->isDefault());
    QCOMPARE(ok->geometry(), Pixels(about, QRect(122, 53, 50, 14)));
    QTimer::singleShot(0, ok, &QPushButton::click);
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

void MainDialogTest::applicationEndsWhenTheDialogCloses()
{
    QString okButton, copyItem;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<CPelmoraDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        // Qt's own texts, as they read while the program runs.
        okButton = QCoreApplication::translate("QPlatformTheme", "OK");
        auto *box = qobject_cast<QLineEdit *>(dialog->GetDlgItem(CPelmoraDlg::PathBox));
        std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
        for (const QAction *action : menu->actions())
            if (action->text().contains(QStringLiteral("复制")))
                copyItem = action->text();
        dialog->OnSysCommand(CPelmoraDlg::ScClose);
    });
    closer.start(10);
    CPelmoraApp app;
    QCOMPARE(app.InitInstance(), false);
    QCOMPARE(okButton, QStringLiteral("确定"));
    QVERIFY2(!copyItem.isEmpty(), "the boxes' copy menu is not in Chinese");
}

void MainDialogTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");    // -1: the window runs
    QTest::addColumn<QString>("printed"); // the start of what is printed
    QTest::addColumn<QString>("shownPath");
    QTest::addColumn<QByteArray>("workingDirectory"); // entered first when set

    static QTemporaryDir directory;
    const QString first = BuildTestPackage(
        directory.path(), QStringLiteral("命令 行.apk"),
        {QStringLiteral("com.example.cli"), QStringLiteral("1.0"), QStringLiteral("CLI")});
    const QString second = BuildTestPackage(
        directory.path(), QStringLiteral("second.apk"),
        {QStringLiteral("com.example.second"), QStringLiteral("2.0"), QStringLiteral("Second")});
    // "你好" in GBK: not UTF-8, so the folder's name only survives as bytes.
    const QByteArray gbkFolder = QFile::encodeName(directory.path()) + "/\xc4\xe3\xba\xc3";
    QVERIFY(::mkdir(gbkFolder.constData(), 0700) == 0 &&
            ::link(QFile::encodeName(second).constData(), gbkFolder + "/relative.apk") == 0);
    QTest::newRow("a file") << QStringList{first} << -1 << QString() << first << QByteArray();
    QTest::newRow("a file:// URI") << QStringList{QUrl::fromLocalFile(first).toString()} << -1
                                   << QString() << first << QByteArray();
    QTest::newRow("two files: the first is inspected")
        << QStringList{first, second} << -1 << QString() << first << QByteArray();
    QTest::newRow("a relative name in a folder named in GBK")
        << QStringList{QStringLiteral("relative.apk")} << -1 << QString()
        << QString::fromUtf8(gbkFolder + "/relative.apk") << gbkFolder;
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("Pelmora 1.0.0.1\n") << QString() << QByteArray();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"), first} << 2
                                    << QStringLiteral("pelmora：") << QString() << QByteArray();
}

// The command line as the program reads it, and the window it then runs.
void MainDialogTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QFETCH(QByteArray, workingDirectory);
    QList<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes.append(argument.toUtf8());
    const QString before = QDir::currentPath();
    QVERIFY(workingDirectory.isEmpty() || ::chdir(workingDirectory.constData()) == 0);
    const CommandLine commandLine = ParseCommandLine(bytes);
    QVERIFY(QDir::setCurrent(before));
    // QTemporaryDir decodes names, so it could not remove these itself.
    const auto removeFolder = qScopeGuard([&workingDirectory] {
        if (!workingDirectory.isEmpty()) {
            ::unlink(workingDirectory + "/relative.apk");
            ::rmdir(workingDirectory.constData());
        }
    });
    QCOMPARE(commandLine.exitNow ? commandLine.exitCode : -1, exitCode);
    QVERIFY(commandLine.output.startsWith(printed));
    QCOMPARE(commandLine.toStandardError, exitCode > 0);
    if (commandLine.exitNow)
        return;
    QVERIFY2(::access(commandLine.file.constData(), R_OK) == 0, commandLine.file.constData());

    QString shown;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<CPelmoraDlg *>(QApplication::activeModalWidget());
        if (!dialog || dialog->displayFields().pathText.isEmpty())
            return;
        shown = dialog->displayFields().pathText;
        dialog->OnSysCommand(CPelmoraDlg::ScClose);
    });
    watcher.start(10);
    CPelmoraApp app(commandLine.file);
    app.InitInstance();
    QTEST(shown, "shownPath");
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    MainDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainDialogTest.moc"
