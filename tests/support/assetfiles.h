// SPDX-License-Identifier: MIT
// The files the program ships, as the tests read them from the source tree.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

inline QString asset(const QString &name)
{
    return QStringLiteral(SOURCE_DIR "/assets/") + name;
}

// A file's bytes, or none when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
