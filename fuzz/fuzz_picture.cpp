// SPDX-License-Identifier: MIT
// Picture decoding from bytes: every image format the runtime can load.
#include "files.h"

#include <QCoreApplication>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const StdPicture p = decodePicture(bytes);
        if (p.isNull() || p.image.width() > filelimits::kPictureSide || p.image.height() > filelimits::kPictureSide)
            std::abort();
    } catch (const FormsError &e) {
        if (e.Number != 481)
            std::abort();
    }
    return 0;
}
