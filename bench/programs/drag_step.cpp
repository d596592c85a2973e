// Cost of one step of a drag on the quiz window: a pointer move delivered as
// a QMouseEvent, then a full repaint of the window. Offscreen; prints the
// median and spread over 1,000 steps.
#include "formview.h"
#include "harness.h"

#include <QApplication>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

static void send(FormView &view, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, at, view.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  buttons, Qt::NoModifier);
    QApplication::sendEvent(&view, &e);
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
    FormView view(*h.form);
    h.load();
    view.show();
    QApplication::processEvents();
    view.repaint();

    // Take hold of the first name and wander over the map, across many
    // countries, as a hesitating player would.
    const QPointF grip = FormView::toPixels(h.form->labels(0).rect()).center();
    send(view, QEvent::MouseButtonPress, grip, Qt::LeftButton);
    send(view, QEvent::MouseMove, grip + QPointF(1, 0), Qt::LeftButton);
    std::vector<double> micros;
    micros.reserve(steps);
    for (int k = 0; k < steps; ++k) {
        const double t = k / 40.0;
        const QPointF at(295 + 250 * std::sin(t), 270 + 230 * std::sin(1.7 * t + 0.5));
        const auto start = std::chrono::steady_clock::now();
        send(view, QEvent::MouseMove, at, Qt::LeftButton);
        view.repaint();
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    send(view, QEvent::MouseButtonRelease, QPointF(20, 20), Qt::NoButton);
    if (!h.form->labels(0).Visible) {
        std::fputs("drag_step: the name was placed on the sea\n", stderr);
        return 1;
    }
    std::sort(micros.begin(), micros.end());
    std::printf("drag-step-us median %.1f p10 %.1f p90 %.1f max %.1f steps %d\n", micros[micros.size() / 2],
                micros[micros.size() / 10], micros[micros.size() * 9 / 10], micros.back(), steps);
    return 0;
}
