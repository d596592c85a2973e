// SPDX-License-Identifier: MIT
// The whole start-up with any bytes as items.txt: however damaged the file,
// it ends with the board up and only a few boxes.
#include "fuzzsupport.h"
#include "harness.h"

#include <QCoreApplication>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Harness h;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    h.write(QStringLiteral("items.txt"), bytes);

    h.boxes.boxes.clear();
    h.form.reset();
    Form1 &f = h.load();
    check(h.boxes.boxes.size() <= 9);  // four unusable lines, two boxes each, and one summary
    check(f.labels.count() == 41 && f.piccoor.count() == 103);
    return 0;
}
