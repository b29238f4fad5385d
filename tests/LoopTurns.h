// Waits for the event loop to turn: a timer queued now goes off after whatever was queued before it
// (deferred work, posted events). What a test checks then is what that work did, or did not do.
#pragma once

#include <QTest>
#include <QTimer>

inline bool LoopTurns() {
    bool turned = false;
    QTimer::singleShot(0, [&turned] { turned = true; });
    return QTest::qWaitFor([&turned] { return turned; });
}
