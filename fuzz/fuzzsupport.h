// SPDX-License-Identifier: MIT
// What the fuzz targets share: a broken expectation ends the run like a
// crash, and an input is handed over as a file in a folder of its own.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Writes the input as the named file in the target's own folder and returns
// that folder's path.
inline QString writeInput(const QString &name, const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    QFile f(dir.path() + QLatin1Char('/') + name);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(reinterpret_cast<const char *>(data), qint64(size));
    return dir.path();
}
