#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One labelled value of the details window. The same rows build the window's form and the
// text that "复制全部" copies, so the two cannot drift apart.
struct DetailsRow
{
    QString label;
    QString value; // for a list, one item a line
    bool isList = false;
    bool isImage = false;  // shows `image` in place of a field; `value` is what is copied
    QByteArray image = {}; // encoded bitmap; none shows nothing
    // The lines of `value` (0 for a single value) the window shows as a warning. The copied
    // text has no colour, so each such line says in its own words why it stands out.
    QList<qsizetype> warningLines = {};
};

// Rows under a title; the window's first section goes untitled.
struct DetailsSection
{
    QString title;
    QList<DetailsRow> rows;
};

// Every section as UTF-8-ready text: "label: value" a line, a list's items indented below its
// label, a titled section after a blank line under "【title】".
QString DetailsText(const QList<DetailsSection> &sections);
