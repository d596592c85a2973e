// SPDX-License-Identifier: MIT
// Cost of one step of a drag on the quiz window: a pointer move delivered as
// a QMouseEvent, then whatever repaint it asked for. Offscreen; prints the
// median and spread over the given number of steps for three cases:
//   pin      a name dragged with the push-pin pointer over the map, as played,
//            the country a drop would go to tinted; also the steps on which
//            the tint moved to another country (or went away) on their own
//   outline  a name dragged without a drag icon, so its outline follows
//   huge     a pointer move over the map with a 1 MiB name in the column
#include "harness.h"
#include "quizwindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

static void send(FormView &view, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, at, view.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(&view, &e);
}

struct Spread {
    double median, p10, p90, max;
};

static Spread spreadOf(std::vector<double> micros)
{
    if (micros.empty())
        return {0, 0, 0, 0};
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() / 10], micros[micros.size() * 9 / 10], micros.back()};
}

// Moves the pointer over the map, across many countries, as a hesitating
// player would; each step ends once the window has repainted what it asked.
static Spread wander(QuizWindow &window, int steps, Qt::MouseButtons buttons, Spread *tintSteps = nullptr,
                     int *tintChanges = nullptr)
{
    FormView &view = window.view();
    std::vector<double> micros, changing;
    micros.reserve(steps);
    for (int k = 0; k < steps; ++k) {
        const double t = k / 40.0;
        const QPointF at(295 + 250 * std::sin(t), 270 + 230 * std::sin(1.7 * t + 0.5));
        const int tintBefore = window.dropLight().tinted();
        const auto start = std::chrono::steady_clock::now();
        send(view, QEvent::MouseMove, at, buttons);
        QApplication::processEvents();
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (window.dropLight().tinted() != tintBefore)
            changing.push_back(micros.back());
    }
    if (tintSteps)
        *tintSteps = spreadOf(changing);
    if (tintChanges)
        *tintChanges = int(changing.size());
    return spreadOf(micros);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int steps = argc > 1 ? std::atoi(argv[1]) : 1000;

    Harness h;
    h.write("items.txt", countryList());
    h.create();
    QuizWindow window(*h.form);
    FormView &view = window.view();
    h.load();
    view.show();
    QApplication::processEvents();
    view.repaint();

    // Take hold of the first name and wander with it.
    const QPointF grip = FormView::toFormPixels(h.form->labels(0).rect()).center();
    send(view, QEvent::MouseButtonPress, grip, Qt::LeftButton);
    send(view, QEvent::MouseMove, grip + QPointF(1, 0), Qt::LeftButton);
    QApplication::processEvents();
    Spread tint{};
    int tintChanges = 0;
    const Spread pin = wander(window, steps, Qt::LeftButton, &tint, &tintChanges);
    send(view, QEvent::MouseButtonRelease, QPointF(20, 20), Qt::NoButton);
    QApplication::processEvents();
    if (!h.form->labels(0).Visible) {
        std::fputs("drag_step: the name was placed on the sea\n", stderr);
        return 1;
    }

    // The same with a name that shows its outline while it moves.
    h.form->Image2.Picture = {};
    h.form->labels(1).DragIcon = {};
    const QPointF grip1 = FormView::toFormPixels(h.form->labels(1).rect()).center();
    send(view, QEvent::MouseButtonPress, grip1, Qt::LeftButton);
    QApplication::processEvents();
    const Spread outline = wander(window, steps, Qt::LeftButton);
    send(view, QEvent::MouseButtonRelease, QPointF(20, 20), Qt::NoButton);
    QApplication::processEvents();

    // Plain pointer moves with a 1 MiB name in the column.
    h.form->labels(2).Caption = QString(1 << 20, QLatin1Char('W'));
    h.form->changed();
    QApplication::processEvents();
    const Spread huge = wander(window, std::min(steps, 50), Qt::NoButton);

    std::printf("drag-step-us median %.1f p10 %.1f p90 %.1f max %.1f tint-change-median %.1f tint-change-p90 %.1f "
                "tint-change-max %.1f tint-changes %d outline-median %.1f outline-p90 %.1f "
                "huge-caption-median %.1f steps %d\n",
                pin.median, pin.p10, pin.p90, pin.max, tint.median, tint.p90, tint.max, tintChanges, outline.median,
                outline.p90, huge.median, steps);
    return 0;
}
