#pragma once
#include <QByteArray>
#include <QList>
#include <QPointer>
#include <functional>
#include <utility>

class QObject;

// The window's waits for the run thread (Run, Stop, the end of a run) serve the window's
// events meanwhile; a command that would replace the thread or the window during such a wait
// is remembered and carried out once the outermost wait has ended. Window's thread only.
class TCommandWaits {
  public:
    explicit TCommandWaits(QObject* context) : FContext(context) {}

    // Counts one wait from construction to destruction.
    class TScope {
      public:
        explicit TScope(TCommandWaits& waits) : FWaits(waits) { ++FWaits.FDepth; }
        ~TScope() {
            if (--FWaits.FDepth == 0) FWaits.RunDeferred();
        }
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

      private:
        TCommandWaits& FWaits;
    };

    bool Waiting() const { return FDepth > 0; }
    // True (and run remembered, once per key) while a wait is in progress.
    bool Defer(const char* key, std::function<void()> run);
    // The window's close, given during a wait: carried out after the deferred commands.
    void DeferClose(std::function<void()> close) { FClose = std::move(close); }
    // From now on nothing deferred runs (the window is being destroyed).
    void Shut() { FShut = true; }

  private:
    void RunDeferred();

    QObject* FContext;
    int FDepth = 0;
    bool FShut = false;
    QList<std::pair<QByteArray, std::function<void()>>> FDeferred;
    std::function<void()> FClose;
};
