#include "UKeyHold.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>
#include <utility>

// How the batch ends: X11 input is read by the xcb plugin in one go (its queue drained while
// the reader thread fills it) and the resulting window-system events are then delivered in
// one loop, both without serving posted events in between. A call posted while a release is
// delivered therefore runs after every event of that batch (with the glib dispatcher and
// with the plain Unix one alike).

TKeyHold::TKeyHold(QWidget* area, QWidget* window, THandler down, THandler up)
    : FArea(area), FWindow(window), FDown(std::move(down)), FUp(std::move(up)) {
    area->installEventFilter(this);
    window->installEventFilter(this);
}

TKeyHold::~TKeyHold() = default;

bool TKeyHold::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FArea) {
        switch (event->type()) {
        case QEvent::KeyPress:
            Press(static_cast<QKeyEvent*>(event));
            break;
        case QEvent::KeyRelease:
            Release(static_cast<QKeyEvent*>(event));
            break;
        case QEvent::FocusOut: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason) LetGo();
            break;
        }
        case QEvent::Hide: // another tab chosen, the window minimised or closed
            LetGo();
            break;
        default:
            break;
        }
    } else if (watched == FWindow && event->type() == QEvent::WindowDeactivate &&
               !QApplication::activePopupWidget()) {
        LetGo();
    }
    return false; // the area still receives the key as typing
}

void TKeyHold::Press(QKeyEvent* event) {
    if (std::unique_ptr<QKeyEvent> release = std::move(FRelease)) {
        const bool repeat = release->key() == event->key() &&
                            release->nativeScanCode() == event->nativeScanCode() &&
                            release->timestamp() == event->timestamp();
        if (!repeat) Up(release.get());
    }
    FHeld = true;
    FDown(event);
}

void TKeyHold::Release(QKeyEvent* event) {
    if (event->isAutoRepeat()) return; // flagged by the toolkit: the key is still held
    EndBatch();                        // an earlier release not followed by its press was real
    FRelease.reset(event->clone());
    if (!FBatchEndPosted) {
        FBatchEndPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                FBatchEndPosted = false;
                EndBatch();
            },
            Qt::QueuedConnection);
    }
}

void TKeyHold::EndBatch() {
    if (std::unique_ptr<QKeyEvent> release = std::move(FRelease)) Up(release.get());
}

void TKeyHold::LetGo() {
    FRelease.reset();
    if (!FHeld) return;
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier);
    Up(&release);
}

void TKeyHold::Up(QKeyEvent* event) {
    FHeld = false;
    FUp(event);
}
