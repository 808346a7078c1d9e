#pragma once

// The coordinator with overlays of the test's own: each part is driven as the app wires it.

#include "FakeDesktop.h"
#include "TestSupport.h"
#include "app/CaptureCoordinator.h"
#include "engines/SceneArchive.h"
#include "ui/SelectionOverlay.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace vistrel::test {

// Work other cases kept in the test user's data folder is not this case's.
inline void forgetOtherCasesKeptWork()
{
    const RecoveryStore recovery;
    for (const QString &id : recovery.ids())
        recovery.remove(id);
}

// Stands in for the selection overlay: remembers what it was asked and lets the test finish it.
class FakeOverlay : public SelectionOverlay
{
public:
    FakeOverlay(OverlayRequest r, Completion c) : request(std::move(r)), completion(std::move(c)) {}
    void present() override { ++presented; }
    void finish(std::optional<SelectionOutcome> outcome) { completion(outcome); }

    OverlayRequest request;
    Completion completion;
    int presented = 0;
};

class CoordinatorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        main = desktop.addDisplay(10, QRectF(0, 0, 640, 400), 1.0, Qt::darkBlue);
        coordinator = std::make_unique<CaptureCoordinator>(desktop.platform());
        coordinator->setOverlayFactory([this](const OverlayRequest &r, auto completion) {
            overlay = new FakeOverlay(r, completion);
            ++overlaysMade;
            return overlay.data();
        });
    }
    void TearDown() override
    {
        coordinator.reset();
        drain();
    }

    FakeDesktop desktop;
    DisplayInfo main;
    std::unique_ptr<CaptureCoordinator> coordinator;
    QPointer<FakeOverlay> overlay;
    int overlaysMade = 0;
};

} // namespace vistrel::test
