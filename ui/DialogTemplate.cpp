#include "DialogTemplate.h"

#include "ResourcePng.h"

#include <QDialog>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int IdOk = 1;

QJsonObject LoadTemplate(int templateId)
{
    QFile file(QStringLiteral(":/res/dialog%1.json").arg(templateId));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("dialog template %d is missing from the resources", templateId);
    return QJsonDocument::fromJson(file.readAll()).object();
}

QRect RectOf(const QJsonValue &value)
{
    const QJsonArray r = value.toArray();
    return QRect(r.at(0).toInt(), r.at(1).toInt(), r.at(2).toInt(), r.at(3).toInt());
}

bool HasStyle(const QJsonObject &item, const char *style)
{
    return item.value(QLatin1String("styles")).toArray().contains(QLatin1String(style));
}

// An edit with the upper-case style turns whatever text is set into it into capitals.
void ForceUpperCase(QLineEdit *edit)
{
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString &text) {
        const QString upper = text.toUpper();
        if (upper != text)
            edit->setText(upper);
    });
}

QWidget *CreateControl(const QJsonObject &item, QDialog &dialog)
{
    const QString kind = item.value(QLatin1String("kind")).toString();
    const QString text = item.value(QLatin1String("text")).toString();
    if (kind == QLatin1String("edit")) {
        auto *edit = new QLineEdit(text, &dialog);
        edit->setReadOnly(HasStyle(item, "readonly"));
        edit->setFrame(HasStyle(item, "border") || HasStyle(item, "clientedge"));
        if (HasStyle(item, "uppercase"))
            ForceUpperCase(edit);
        edit->setFocusPolicy(HasStyle(item, "tabstop") ? Qt::StrongFocus : Qt::ClickFocus);
        edit->setAccessibleName(item.value(QLatin1String("accessibleName")).toString());
        return edit;
    }
    if (kind == QLatin1String("groupbox")) {
        // A frame only: kept beneath the controls it surrounds so that it never takes their
        // clicks or drops.
        auto *group = new QGroupBox(text, &dialog);
        group->lower();
        return group;
    }
    if (kind == QLatin1String("button")) {
        auto *button = new QPushButton(text, &dialog);
        button->setDefault(HasStyle(item, "defpushbutton"));
        button->setAutoDefault(button->isDefault());
        // As in the dialog manager, the button with the OK id ends the dialog.
        if (item.value(QLatin1String("id")).toInt() == IdOk)
            QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
        return button;
    }
    auto *label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);
    if (kind == QLatin1String("icon")) {
        label->setPixmap(ResourcePng(text));
        label->setScaledContents(true);
    }
    return label;
}

} // namespace

DialogBaseUnits BaseUnitsOf(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet + 26) / 52, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect &units, DialogBaseUnits base)
{
    const auto horizontal = [&](int u) { return (u * base.averageCharWidth + 2) / 4; };
    const auto vertical = [&](int u) { return (u * base.charHeight + 4) / 8; };
    return QRect(horizontal(units.x()), vertical(units.y()), horizontal(units.width()),
                 vertical(units.height()));
}

QHash<int, QWidget *> BuildFromTemplate(QDialog &dialog, int templateId)
{
    const QJsonObject tmpl = LoadTemplate(templateId);
    dialog.setWindowTitle(tmpl.value(QLatin1String("caption")).toString());

    const QJsonObject fontSpec = tmpl.value(QLatin1String("font")).toObject();
    dialog.setFont(QFont(fontSpec.value(QLatin1String("family")).toString(),
                         fontSpec.value(QLatin1String("pointSize")).toInt()));
    const DialogBaseUnits base = BaseUnitsOf(dialog.font());

    const QJsonArray exStyles = tmpl.value(QLatin1String("exStyles")).toArray();
    // An application window is a top-level window of its own (on the taskbar), not a dialog.
    const bool appWindow = exStyles.contains(QLatin1String("appwindow"));
    Qt::WindowFlags flags =
        (appWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (HasStyle(tmpl, "sysmenu"))
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dialog.setWindowFlags(flags);
    dialog.setAcceptDrops(exStyles.contains(QLatin1String("acceptfiles")));

    const QJsonArray size = tmpl.value(QLatin1String("size")).toArray();
    const QSize pixels =
        DialogUnitsToPixels(QRect(0, 0, size.at(0).toInt(), size.at(1).toInt()), base).size();
    if (HasStyle(tmpl, "thickframe"))
        dialog.resize(pixels);
    else
        dialog.setFixedSize(pixels);

    QHash<int, QWidget *> controls;
    for (const QJsonValue &value : tmpl.value(QLatin1String("controls")).toArray()) {
        const QJsonObject item = value.toObject();
        QWidget *control = CreateControl(item, dialog);
        control->setGeometry(DialogUnitsToPixels(RectOf(item.value(QLatin1String("rect"))), base));
        const int id = item.value(QLatin1String("id")).toInt();
        if (id != -1)
            controls.insert(id, control);
    }
    return controls;
}
