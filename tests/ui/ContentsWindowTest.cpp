// The contents window on Qt's offscreen platform: the squarified layout tiles its area in
// proportion to the weights, the table sorts by each column's value, a click on the treemap
// selects the entry's row, and the listing of a package built with aapt fills both; the manifest
// window, opened from the details window, shows, copies and saves the manifest's text.
#include "TestSupport.h"
#include "apk/ContentsListing.h"
#include "archive/ZipArchive.h"
#include "details/ManifestText.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"
#include "inspect/Inspection.h"
#include "ui/ContentsDlg.h"
#include "ui/ContentsModel.h"
#include "ui/DetailsDlg.h"
#include "ui/ManifestDlg.h"
#include "ui/TreemapLayout.h"
#include "ui/TreemapView.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

double Area(const QRectF &rect)
{
    return rect.isEmpty() ? 0.0 : rect.width() * rect.height();
}

// Checks that `rects` lie inside `area` without overlapping, each as large as its weight's share
// of the area, to a part in a million of it.
void CheckTiling(const QList<QRectF> &rects, const QList<double> &weights, const QRectF &area)
{
    double sum = 0;
    for (double weight : weights)
        sum += qMax(0.0, weight);
    const double slack = Area(area) * 1e-6;
    double covered = 0;
    for (qsizetype i = 0; i < rects.size(); ++i) {
        const double expected = weights[i] > 0 ? Area(area) * weights[i] / sum : 0.0;
        QVERIFY2(qAbs(Area(rects[i]) - expected) <= slack, qPrintable(QString::number(i)));
        if (Area(rects[i]) == 0)
            continue;
        QVERIFY(rects[i].left() >= area.left() - 1e-9 && rects[i].top() >= area.top() - 1e-9);
        QVERIFY(rects[i].right() <= area.right() + 1e-9 &&
                rects[i].bottom() <= area.bottom() + 1e-9);
        covered += Area(rects[i]);
        for (qsizetype j = 0; j < i; ++j)
            QVERIFY2(Area(rects[i].intersected(rects[j])) <= slack,
                     qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
    }
    if (sum > 0)
        QVERIFY(qAbs(covered - Area(area)) <= slack);
}

} // namespace

class ContentsWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void squarifiedLayout_data();
    void squarifiedLayout();
    void treemapByFolder();
    void sorting_data();
    void sorting();
    void clickSelectsRow();
    void manyEntries();
    void openedFromDetails();
    void manifestFromDetails();

private:
    QTemporaryDir directory;
    QString package;
    ContentsListing listing;
};

void ContentsWindowTest::initTestCase()
{
    QVERIFY(directory.isValid());
    // Incompressible entries of sizes whose digits sort otherwise than their values.
    PackageContents contents;
    QRandomGenerator generator(29);
    for (int size : {9, 10, 100, 999, 1000, 20000}) {
        QByteArray noise(size, '\0');
        for (char &byte : noise)
            byte = char(generator.bounded(256));
        contents.storedEntries.append({QStringLiteral("assets/n%1.bin").arg(size), noise});
    }
    contents.storedEntries.append({QStringLiteral("lib/x86_64/libx.so"), QByteArray(3000, 'x')});
    package = BuildTestPackage(
        directory.path(), QStringLiteral("window.apk"),
        {QStringLiteral("org.pelmora.window"), QStringLiteral("1"), QStringLiteral("W")}, contents);
    QVERIFY(!package.isEmpty());
    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    listing = ListContents(file, archive);
    QVERIFY(listing.entries.size() >= 9);
}

void ContentsWindowTest::squarifiedLayout_data()
{
    QTest::addColumn<QList<double>>("weights");
    QTest::addColumn<QRectF>("area");

    QTest::newRow("one") << QList<double>{5} << QRectF(0, 0, 300, 200);
    QTest::newRow("four equal") << QList<double>{1, 1, 1, 1} << QRectF(10, 20, 200, 200);
    QTest::newRow("the paper's example")
        << QList<double>{6, 6, 4, 3, 2, 2, 1} << QRectF(0, 0, 600, 400);
    QTest::newRow("tall") << QList<double>{50, 30, 10, 5, 3, 1, 1} << QRectF(0, 0, 40, 900);
    QTest::newRow("zeros among them") << QList<double>{7, 0, 3, 0, 0, 1} << QRectF(0, 0, 120, 80);
    QTest::newRow("all zero") << QList<double>{0, 0} << QRectF(0, 0, 120, 80);
    QList<double> skewed;
    for (int i = 0; i < 600; ++i)
        skewed.append(i < 3 ? 1e9 : double(600 - i));
    QTest::newRow("a few huge, many small") << skewed << QRectF(0, 0, 900, 500);
}

void ContentsWindowTest::squarifiedLayout()
{
    QFETCH(QList<double>, weights);
    QFETCH(QRectF, area);

    const QList<QRectF> rects = SquarifiedLayout(weights, area);
    QCOMPARE(rects.size(), weights.size());
    CheckTiling(rects, weights, area);
    if (QTest::currentDataTag() == QByteArray("four equal"))
        for (const QRectF &rect : rects)
            QCOMPARE(rect.size(), QSizeF(100, 100));
}

void ContentsWindowTest::treemapByFolder()
{
    QList<QByteArray> names;
    QList<qint64> sizes;
    for (const ListedEntry &entry : std::as_const(listing.entries)) {
        names.append(entry.name);
        sizes.append(entry.stored);
    }
    const QRectF area(0, 0, 700, 400);
    const Treemap map = LayoutTreemap(names, sizes, area);
    QList<double> weights;
    for (qint64 size : std::as_const(sizes))
        weights.append(double(size));
    CheckTiling(map.entries, weights, area);
    // Each folder's entries fill its rectangle, and every entry is in one folder.
    QCOMPARE(map.order.size(), names.size());
    for (const TreemapGroup &group : map.groups) {
        double inside = 0;
        for (qsizetype i = group.first; i < group.first + group.count; ++i) {
            const qsizetype entry = map.order[i];
            const QByteArray folder = names[entry].first(names[entry].indexOf('/') + 1);
            QCOMPARE(folder.isEmpty() ? names[entry] : folder, group.name);
            inside += Area(map.entries[entry]);
        }
        QVERIFY(qAbs(inside - Area(group.rect)) <= Area(area) * 1e-6);
    }
    const qsizetype largest = std::max_element(sizes.cbegin(), sizes.cend()) - sizes.cbegin();
    QCOMPARE(EntryAt(map, map.entries[largest].center()), largest);
    QCOMPARE(EntryAt(map, QPointF(-1, -1)), -1);
}

void ContentsWindowTest::sorting_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");

    QTest::newRow("stored, ascending") << int(CContentsModel::Stored) << Qt::AscendingOrder;
    QTest::newRow("stored, descending") << int(CContentsModel::Stored) << Qt::DescendingOrder;
    QTest::newRow("uncompressed") << int(CContentsModel::Uncompressed) << Qt::AscendingOrder;
    QTest::newRow("share") << int(CContentsModel::Share) << Qt::DescendingOrder;
    QTest::newRow("name") << int(CContentsModel::Name) << Qt::AscendingOrder;
}

void ContentsWindowTest::sorting()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);

    CContentsDlg dialog(listing, QStringLiteral("org.pelmora.window"));
    dialog.show();
    QTableView *table = dialog.tableView();
    table->sortByColumn(column, order);
    const QAbstractItemModel *model = table->model();
    QCOMPARE(model->rowCount(), listing.entries.size());
    // The value behind each row, as the table shows it: "1,000" is a thousand, "12.34%" a share.
    const auto value = [&](int row) -> QVariant {
        const QString text = model->index(row, column).data().toString();
        if (column == CContentsModel::Name)
            return text;
        QString digits = text;
        digits.remove(u',').remove(u'%');
        return digits.toDouble();
    };
    for (int row = 1; row < model->rowCount(); ++row) {
        const QVariant before = value(row - 1);
        const QVariant after = value(row);
        const bool ordered =
            column == CContentsModel::Name
                ? before.toString() <= after.toString()
                : (order == Qt::AscendingOrder ? before.toDouble() <= after.toDouble()
                                               : before.toDouble() >= after.toDouble());
        QVERIFY2(ordered,
                 qPrintable(before.toString() + QStringLiteral(" then ") + after.toString()));
    }
}

void ContentsWindowTest::clickSelectsRow()
{
    CContentsDlg dialog(listing, QStringLiteral("org.pelmora.window"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CTreemapView *view = dialog.treemapView();
    const Treemap &map = view->treemap();
    qsizetype wanted = 0;
    for (qsizetype i = 0; i < listing.entries.size(); ++i)
        if (listing.entries[i].name == "assets/n1000.bin")
            wanted = i;
    QVERIFY(!map.entries[wanted].isEmpty());
    QTest::mouseClick(view, Qt::LeftButton, {}, map.entries[wanted].center().toPoint());
    const QModelIndex current = dialog.tableView()->currentIndex();
    QVERIFY(current.isValid());
    QCOMPARE(current.siblingAtColumn(CContentsModel::Name).data().toString(),
             QStringLiteral("assets/n1000.bin"));
    QVERIFY(dialog.tableView()->selectionModel()->isRowSelected(current.row()));
}

void ContentsWindowTest::manyEntries()
{
    // As many entries as a ZIP without ZIP64 holds, in a few hundred folders.
    ContentsListing many;
    QRandomGenerator generator(65535);
    for (int i = 0; i < 65535; ++i) {
        const qint64 size = generator.bounded(1, 100000);
        many.entries.append({"res/f" + QByteArray::number(i % 300) + "/e" + QByteArray::number(i),
                             8, size, size * 2, SizeCategory::Res});
        many.fileSize += size;
    }
    CContentsDlg dialog(many, QStringLiteral("many"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.tableView()->sortByColumn(CContentsModel::Name, Qt::AscendingOrder);
    QVERIFY(!dialog.treemapView()->grab().isNull());
    QCOMPARE(dialog.tableView()->model()->rowCount(), 65535);
}

void ContentsWindowTest::openedFromDetails()
{
    const InspectionResult result = InspectPackage(package.toUtf8());
    QVERIFY(result.inspected);
    CDetailsDlg details(QStringLiteral("org.pelmora.window"));
    details.show();
    details.load(*result.inspected);
    QPushButton *button = nullptr;
    for (QPushButton *candidate : details.findChildren<QPushButton *>())
        if (candidate->text() == QStringLiteral("查看内容…"))
            button = candidate;
    QVERIFY(button);
    QVERIFY(button->isEnabled());
    QString title;
    int rows = -1;
    QTimer::singleShot(0, &details, [&] {
        if (auto *contents = qobject_cast<CContentsDlg *>(QApplication::activeModalWidget())) {
            title = contents->windowTitle();
            rows = contents->tableView()->model()->rowCount();
            contents->reject();
        }
    });
    button->click();
    QCOMPARE(title, QStringLiteral("内容 - org.pelmora.window"));
    QCOMPARE(rows, listing.entries.size());
    QTRY_VERIFY(details.loaded());
}

void ContentsWindowTest::manifestFromDetails()
{
    const SafeFile opened(package.toUtf8());
    const ZipArchive archive(opened);
    const std::optional<XmlDocument> document = ReadManifestDocument(archive);
    QVERIFY(document);
    const QString expected = ManifestText(*document, OpenResourceTable(archive).get());

    const InspectionResult result = InspectPackage(package.toUtf8());
    QVERIFY(result.inspected);
    CDetailsDlg details(QStringLiteral("org.pelmora.window"));
    QPushButton *button = nullptr;
    for (QPushButton *candidate : details.findChildren<QPushButton *>())
        if (candidate->text() == QStringLiteral("查看清单…"))
            button = candidate;
    QVERIFY(button);
    QVERIFY(!button->isEnabled());
    details.show();
    details.load(*result.inspected);
    QTRY_VERIFY(details.loaded());
    QVERIFY(button->isEnabled());

    QString shown, copied, title;
    bool readOnly = false, fixedPitch = false, saved = false, refused = true, told = false;
    const QString savedPath = directory.filePath(QStringLiteral("saved/AndroidManifest.xml"));
    QVERIFY(QDir(directory.path()).mkpath(QStringLiteral("saved")));
    QTimer::singleShot(0, &details, [&] {
        auto *dialog = qobject_cast<CManifestDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        shown = dialog->textView()->toPlainText();
        readOnly = dialog->textView()->isReadOnly();
        fixedPitch = QFontInfo(dialog->textView()->font()).fixedPitch();
        for (QPushButton *candidate : dialog->findChildren<QPushButton *>())
            if (candidate->text() == QStringLiteral("复制"))
                candidate->click();
        copied = QGuiApplication::clipboard()->text();
        saved = dialog->saveTo(savedPath);
        // A folder that does not exist: the message says so, and nothing claims success.
        QTimer::singleShot(0, dialog, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                told = true;
                box->accept();
            }
        });
        refused = !dialog->saveTo(directory.filePath(QStringLiteral("missing/m.xml")));
        dialog->reject();
    });
    button->click();
    QCOMPARE(title, QStringLiteral("清单 - org.pelmora.window"));
    QCOMPARE(shown, expected);
    QVERIFY(readOnly);
    QVERIFY(fixedPitch);
    QCOMPARE(copied, expected);
    QVERIFY(saved);
    QCOMPARE(ReadFile(savedPath), expected.toUtf8());
    QVERIFY(refused);
    QVERIFY(told);
}

QTEST_MAIN(ContentsWindowTest)
#include "ContentsWindowTest.moc"
