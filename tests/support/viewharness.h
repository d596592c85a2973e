// SPDX-License-Identifier: MIT
#pragma once
// The quiz window on screen for the window tests (offscreen platform): the
// headless harness with the program's own quiz window on it (view, drop
// light, keyboard parts and screen reader, wired as the program wires them),
// mouse input as the window system sends it, and the two ways to look at it.
#include "formview.h"
#include "harness.h"
#include "quizwindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <memory>

// Window pixels of twips.
inline QPoint px(QPoint twips)
{
    return twips / kTwipsPerPixel;
}
inline QRect px(const QRect &twips)
{
    return FormView::toFormPixels(twips).toRect();
}

class ViewHarness : public Harness {
public:
    // Creates the window with the shipped names, and runs the start-up.
    FormView &open(FormView::Frame frame = FormView::Frame::ByDesktop)
    {
        write("items.txt", countryList());
        create();
        window = std::make_unique<QuizWindow>(*form, frame);
        view = &window->view();
        load();
        return *view;
    }
    // Closes the window and takes it away.
    void close()
    {
        view = nullptr;
        window.reset();
    }
    // A mouse event at a window pixel; a press or move carries the left
    // button unless buttons says otherwise.
    void mouse(QEvent::Type type, QPoint pixels, std::optional<Qt::MouseButtons> buttons = {})
    {
        const Qt::MouseButtons held = buttons                              ? *buttons
                                      : type == QEvent::MouseButtonRelease ? Qt::NoButton
                                                                           : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent e(type, QPointF(pixels), view->mapToGlobal(QPointF(pixels)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(view, &e);
    }
    // What is on the screen now, partial repaints and all.
    QImage screen()
    {
        QApplication::processEvents();
        return view->screen()->grabWindow(view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The window painted afresh from the model.
    QImage fresh() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<QuizWindow> window;
    FormView *view = nullptr;
};
