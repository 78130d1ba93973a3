#include "UCommandWaits.h"

#include <QTimer>

bool TCommandWaits::Defer(const char* key, std::function<void()> run) {
    if (FDepth == 0) return false;
    for (const auto& deferred : FDeferred)
        if (deferred.first == key) return true;
    FDeferred.append({QByteArray(key), std::move(run)});
    return true;
}

void TCommandWaits::RunDeferred() {
    if (FShut || (FDeferred.isEmpty() && !FClose)) return;
    QTimer::singleShot(0, FContext, [this] {
        const auto deferred = std::exchange(FDeferred, {});
        for (const auto& command : deferred)
            command.second();
        if (const auto close = std::exchange(FClose, {})) close();
    });
}
