#pragma once
#include <QObject>
#include <functional>
#include <memory>

class QEvent;
class QKeyEvent;
class QWidget;

// Follows the key held down in one text area and reports when it goes down and when the
// user lets go of it: the keyboard port's source.
//
// A held key repeats as release-press pairs. The toolkit flags such a release as a repeat
// only when it already sees the press; under X11 the pair often arrives unflagged. Both
// halves carry the same timestamp and arrive in one batch of window-system events, so a
// release is passed on only after the batch, unless a press of the same key with the same
// timestamp follows it. The batch is never held back by a time window: a real release
// reaches the port as soon as the events already queued with it have been delivered.
//
// The hold also ends when the area loses the keyboard for anything but a menu (a box opens,
// the window is deactivated, the area is hidden), since the key's release then goes
// elsewhere. A menu keeps it: a key held while a run starts from the menu stays visible.
//
// Window's thread only.
class TKeyHold : public QObject {
    Q_OBJECT
  public:
    using THandler = std::function<void(QKeyEvent*)>;

    // Watches area's key and focus events and window's deactivation. down gets each press
    // in the area (repeats too); up gets each release that ends the hold, or a synthetic
    // release (key 0) when the hold ends otherwise.
    TKeyHold(QWidget* area, QWidget* window, THandler down, THandler up);
    ~TKeyHold() override;

    // Ends the hold now, as when the user lets go.
    void LetGo();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Press(QKeyEvent* event);
    void Release(QKeyEvent* event);
    // Passes on the release held back for the batch, if any.
    void EndBatch();
    void Up(QKeyEvent* event);

    QWidget* FArea;
    QWidget* FWindow;
    THandler FDown, FUp;
    // The last release, until the batch it came in has been delivered.
    std::unique_ptr<QKeyEvent> FRelease;
    bool FBatchEndPosted = false;
    bool FHeld = false; // a press seen and not yet ended
};
