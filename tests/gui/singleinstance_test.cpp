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
    QByteArray token;
    ASSERT_EQ(first.Claim([&](const QByteArray& given) {
        token = given;
        return ++forwarded > 0;
    }),
              InstanceClaim::Claimed);
    EXPECT_TRUE(QFile::exists(profile.filePath(QStringLiteral("lodestone.socket"))));

    // The desktop's activation token goes along, for the compositor to raise
    // the window on.
    qputenv("XDG_ACTIVATION_TOKEN", "desktop-token_1");
    std::future<InstanceClaim> later = std::async(std::launch::async, [&] {
        return SingleInstance(folders).Claim([](const QByteArray&) { return true; });
    });
    while (later.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents();
    EXPECT_EQ(later.get(), InstanceClaim::HandedOver);
    EXPECT_EQ(forwarded, 1);
    EXPECT_EQ(token, "desktop-token_1");

    const QStringList unusable{QString(), runtime.filePath(QStringLiteral("missing"))};
    EXPECT_EQ(SingleInstance(unusable).Claim([](const QByteArray&) { return true; }),
              InstanceClaim::NoLock);
}

} // namespace
