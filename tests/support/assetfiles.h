// SPDX-License-Identifier: MIT
// The files the program ships, as the tests read them from the source tree.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file of the source tree, by its path from the top.
inline QString sourceFile(const QString &relative)
{
    return QStringLiteral(SOURCE_DIR "/") + relative;
}

// A file the program ships, from assets/.
inline QString asset(const QString &name)
{
    return sourceFile(QStringLiteral("assets/") + name);
}

// The decode helper the build lays beside the program.
inline QString decodeHelper()
{
    return QStringLiteral(BUILD_DIR "/orbenvale-decode");
}

// A file's bytes, or none when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
