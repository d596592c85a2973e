// SPDX-License-Identifier: MIT
// The skin: any bytes as x/o.cjs go through the skin step of start-up. A
// skin that is taken names only pictures that were checked (checking its
// style sheet again changes nothing), and applying it to real buttons
// finishes. The skin folder holds a picture, a FIFO and a device link for
// the skin to name.
#include "fuzzsupport.h"
#include "harness.h"
#include "skincontrol.h"

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <cstdlib>
#include <sys/stat.h>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

static Harness &harness()
{
    static Harness h;
    static bool ready = false;
    if (!ready) {
        QDir(h.dir.path()).mkpath(QStringLiteral("x/pics"));
        QImage img(4, 4, QImage::Format_RGB32);
        img.fill(Qt::red);
        img.save(h.dir.path() + QStringLiteral("/x/pics/p.png"));
        ::mkfifo(QFile::encodeName(h.dir.path() + QStringLiteral("/x/pipe.png")), 0600);
        QFile::link(QStringLiteral("/dev/zero"), h.dir.path() + QStringLiteral("/x/zero.png"));
        ready = true;
    }
    return h;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Harness &h = harness();
    h.write(QStringLiteral("x/o.cjs"), QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    Form form(h.platform);
    StyleSheetSkin skin(form);
    try {
        skin.invoke(skin::LoadSkin, DispatchKind::Method, {h.dir.path() + QStringLiteral("\\x\\o.cjs"), QString()});
        skin.invoke(skin::ApplyWindow, DispatchKind::Method, {qint32(form.hWnd)});
    } catch (const FormsError &) {
        check(form.StyleSheet.isEmpty());
        return 0;
    }
    QString problem;
    const QString again =
        StyleSheetSkin::withCheckedPictures(form.StyleSheet, h.dir.path() + QStringLiteral("/x"), &problem);
    check(problem.isEmpty() && again == form.StyleSheet);

    QWidget window;
    window.setObjectName(QStringLiteral("Form1"));
    auto *button = new QPushButton(QStringLiteral("Restart"), &window);
    button->setObjectName(QStringLiteral("PushButton1"));
    window.resize(120, 40);
    window.setStyleSheet(form.StyleSheet);
    window.grab();
    return 0;
}
