#include "ManifestDlg.h"

#include "MessageBox.h"
#include "WaitCursor.h"
#include "archive/ZipArchive.h"
#include "bundle/ManifestApk.h"
#include "details/FailureText.h"
#include "details/ManifestText.h"
#include "inspect/Inspection.h"
#include "inspect/PackageFile.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int DefaultWidthInDigits = 100;
constexpr int DefaultHeightInLines = 40;

} // namespace

CManifestDlg::CManifestDlg(const QString &text, const QString &packageName, QWidget *parent)
    : QDialog(parent), view(new QPlainTextEdit)
{
    setWindowTitle(QStringLiteral("清单 - ") + packageName);
    setModal(true);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setAccessibleName(QStringLiteral("清单"));
    view->setPlainText(text);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *copy = buttons->addButton(QStringLiteral("复制"), QDialogButtonBox::ActionRole);
    QPushButton *save = buttons->addButton(QStringLiteral("保存…"), QDialogButtonBox::ActionRole);
    // Enter closes, as Esc does, and never copies or saves by surprise.
    copy->setAutoDefault(false);
    save->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(this->text()); });
    connect(save, &QPushButton::clicked, this, &CManifestDlg::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
    resize(sizeHint());
}

QString CManifestDlg::text() const
{
    return view->toPlainText();
}

bool CManifestDlg::saveTo(const QString &path)
{
    // Written whole or not at all: a failed save leaves any earlier file as it was.
    QSaveFile file(path);
    const QByteArray bytes = text().toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    ShowMessage(this, QStringLiteral("无法保存清单到 “%1”：%2").arg(path, file.errorString()));
    return false;
}

void CManifestDlg::save()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("保存清单"), QStringLiteral("AndroidManifest.xml"),
        QStringLiteral("XML 文件 (*.xml);;所有文件 (*)"));
    if (!path.isEmpty())
        saveTo(path);
}

QSize CManifestDlg::sizeHint() const
{
    const QFontMetrics metrics(view->font());
    QSize hint(metrics.horizontalAdvance(QLatin1Char('0')) * DefaultWidthInDigits,
               metrics.height() * DefaultHeightInLines);
    if (const QScreen *shown = screen())
        hint = hint.boundedTo(shown->availableGeometry().size() * 9 / 10);
    return hint;
}

void ShowManifest(const PackageFile &file, const XmlDocument &document, const QString &packageName,
                  QWidget *parent)
{
    QString text;
    QString problem;
    {
        const WaitCursor waiting;
        problem = FailureText(ReadManifestApk(file.file(), [&](const ZipArchive &apk) {
            text = ManifestText(document, OpenResourceTable(apk).get());
        }));
        if (problem.isEmpty() && file.changed())
            problem = ChangedReason(file);
    }
    if (!problem.isEmpty())
        return ShowMessage(parent, QStringLiteral("无法显示清单：") + problem);
    CManifestDlg dialog(text, packageName, parent);
    dialog.exec();
}
