#pragma once

#include <QByteArray>
#include <QtEndian>

// Little-endian fields in a file's bytes, for the tests that take packages and tables apart.

template <typename T> T Get(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<T>(bytes.constData() + at);
}

template <typename T> void Put(QByteArray &bytes, qsizetype at, T value)
{
    qToLittleEndian(value, bytes.data() + at);
}

template <typename T> QByteArray Bytes(T value)
{
    QByteArray bytes(sizeof(T), Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}
