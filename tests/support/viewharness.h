// SPDX-License-Identifier: MIT
#pragma once
// The quiz window on screen for the window tests (offscreen platform): the
// headless harness with a view on it, mouse input as the window system
// sends it, and the two ways to look at it.
#include "formview.h"
#include "harness.h"

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
    return FormView::toPixels(twips).toRect();
}

class ViewHarness : public Harness {
public:
    // Creates the window and its view with the shipped names, and runs the start-up.
    FormView &open()
    {
        write("items.txt", countryList());
        create();
        view = std::make_unique<FormView>(*form);
        load();
        return *view;
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
        QApplication::sendEvent(view.get(), &e);
    }
    // What is on the screen now, partial repaints and all.
    QImage screen()
    {
        QApplication::processEvents();
        return view->screen()->grabWindow(view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The window painted afresh from the model.
    QImage fresh() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<FormView> view;
};
