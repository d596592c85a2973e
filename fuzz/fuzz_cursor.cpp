// SPDX-License-Identifier: MIT
// The pointer cursor file: any bytes as HAND-M.CUR load as a picture within
// the size limits with its hotspot inside it, or fail with a runtime error.
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
    const QString folder = writeInput(QStringLiteral("HAND-M.CUR"), data, size);
    try {
        const StdPicture p = LoadPicture(folder + QStringLiteral("\\HAND-M.CUR"));
        const QSize s = p.image.size();
        if (p.isNull() || s.width() > filelimits::kPictureSide || s.height() > filelimits::kPictureSide)
            std::abort();
        if (p.hotspot != QPoint(-1, -1) && !QRect(QPoint(0, 0), s).contains(p.hotspot))
            std::abort();
    } catch (const FormsError &e) {
        if (e.Number != 481 && e.Number != 75)
            std::abort();
    }
    return 0;
}
