#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

namespace vistrel::test {

// Lets queued work (tasks started by entry points) run.
inline void drain(int rounds = 5)
{
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qWait(1);
    }
}

} // namespace vistrel::test
