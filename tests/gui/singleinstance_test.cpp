// Where the instance lock is taken, and that a later start finds it there.

#include "gui/singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace {

using gui::InstanceClaim;
using gui::SingleInstance;

TEST(SingleInstance, TakesTheLockInTheFirstFolderThatCanHoldItOrRefusesToStart) {
    QTemporaryDir runtime, profile;
    ASSERT_TRUE(runtime.isValid() && profile.isValid());
    // Something else holds the lock's name in the runtime folder.
    ASSERT_TRUE(QDir(runtime.path()).mkdir(QStringLiteral("lodestone.lock")));
    const QStringList folders{runtime.path(), profile.path()};

    SingleInstance first(folders);
    int forwarded = 0;
    ASSERT_EQ(first.Claim([&] { return ++forwarded > 0; }), InstanceClaim::Claimed);
    EXPECT_TRUE(QFile::exists(profile.filePath(QStringLiteral("lodestone.socket"))));

    std::future<InstanceClaim> later = std::async(
        std::launch::async, [&] { return SingleInstance(folders).Claim([] { return true; }); });
    while (later.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents();
    EXPECT_EQ(later.get(), InstanceClaim::HandedOver);
    EXPECT_EQ(forwarded, 1);

    const QStringList unusable{QString(), runtime.filePath(QStringLiteral("missing"))};
    EXPECT_EQ(SingleInstance(unusable).Claim([] { return true; }), InstanceClaim::NoLock);
}

} // namespace
