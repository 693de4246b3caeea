#pragma once

#include "app/DIContainer.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace varno::test {

// A composition root over the test's data folder, returned once its boot
// task (library load, session restore, demo bootstrap) has finished.
inline std::unique_ptr<DIContainer> bootContainer(std::unique_ptr<AudioPlayerFactory> players = nullptr)
{
    auto container = players ? std::make_unique<DIContainer>(std::move(players)) : std::make_unique<DIContainer>();
    QSignalSpy finished(container.get(), &DIContainer::bootFinished);
    if (!container->isBootFinished()) {
        EXPECT_TRUE(finished.wait(30000));
    }
    return container;
}

} // namespace varno::test
