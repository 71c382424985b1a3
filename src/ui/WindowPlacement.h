#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace horalux::ui {

// The program's windows open centred on the desktop, not over whatever window opened them.
inline void centreOnScreen(QWidget& window) {
    const QScreen* screen =
        window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace horalux::ui
