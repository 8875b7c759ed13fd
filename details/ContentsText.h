#pragma once

#include "apk/ContentsListing.h"

#include <QString>

// A size category's name on screen: "代码", "资源表", "res/", "原生库", "assets/", "签名", "其他".
QString CategoryText(SizeCategory category);

// How an entry is kept, for people: "存储", "deflate", or "方法 N" for another method (which
// Android inflates as deflate).
QString MethodText(quint16 method);

// `part` of `whole` as a percentage to two decimals ("12.34%"); "0.00%" of nothing.
QString ShareText(qint64 part, qint64 whole);

// An entry's name as it may be shown: UTF-8, every control character written out.
QString EntryNameText(const QByteArray &name);

// The listing as `pelmora --contents` prints it and the contents window copies it: a header
// line, then one line per entry in the central directory's order, fields separated by tabs:
// stored bytes, uncompressed bytes, share of the file, method, name.
QString ContentsText(const ContentsListing &listing);
