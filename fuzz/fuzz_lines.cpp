// SPDX-License-Identifier: MIT
// Line input and splitting over any bytes as an item file: lines never hold
// a line end, fields never hold the separator, and nothing is invented.
#include "files.h"
#include "fuzzsupport.h"

#include <QCoreApplication>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = writeInput(QStringLiteral("items.txt"), data, size);
    FileTable files;
    files.Open(folder + QStringLiteral("\\items.txt"), 1);
    const QString text = decodeText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    qsizetype lines = 0, chars = 0, at = 0;
    while (!files.Eof(1)) {
        const QString line = files.LineInput(1);
        check(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));
        at = text.indexOf(line, at);  // the lines, in order, are the text's own
        check(at >= 0);
        at += line.size();
        const QStringList fields = Split(line, QStringLiteral(","));
        check(fields.isEmpty() == line.isEmpty());
        check(fields.join(QLatin1Char(',')) == line);
        ++lines;
        chars += line.size();
    }
    files.Close(1);
    check(lines <= text.size() && chars <= text.size());
    return 0;
}
