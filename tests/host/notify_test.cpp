/// @file notify_test.cpp
/// @brief Registration and broadcast of system notifications.
#include "host/notify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Listener {
    std::string name;
    std::vector<std::string> *log;
    int codeSeen = 0;
    void *callParamSeen = nullptr;
};

void Record(void *param, NotifyInfo *info) {
    auto *listener = static_cast<Listener *>(param);
    listener->log->push_back(listener->name);
    listener->codeSeen = info->intcode;
    listener->callParamSeen = info->callParam;
}

/// Unregisters the listener registered after it, then records.
struct Remover {
    Listener *victim;
    std::vector<std::string> *log;
};
void RemoveOther(void *param, NotifyInfo *info) {
    auto *remover = static_cast<Remover *>(param);
    UnRegisterNotification(Record, remover->victim, info->intcode);
    remover->log->push_back("remover");
}

void RemoveSelf(void *param, NotifyInfo *info) {
    UnRegisterNotification(RemoveSelf, param, info->intcode);
    static_cast<std::vector<std::string> *>(param)->push_back("once");
}

}  // namespace

TEST(Notification, ReachesListenersOfItsCodeInRegistrationOrder) {
    std::vector<std::string> log;
    Listener first{"first", &log}, second{"second", &log}, other{"other", &log};
    ASSERT_TRUE(RegisterNotification(Record, &first, NOTIFY_SYSTEM_STARTUP));
    ASSERT_TRUE(RegisterNotification(Record, &second, NOTIFY_SYSTEM_STARTUP));
    ASSERT_TRUE(RegisterNotification(Record, &other, NOTIFY_SYSTEM_SHUTDOWN));
    // Registering twice keeps one registration.
    ASSERT_TRUE(RegisterNotification(Record, &first, NOTIFY_SYSTEM_STARTUP));

    int payload = 7;
    BroadcastNotification(NOTIFY_SYSTEM_STARTUP, &payload);
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(first.codeSeen, NOTIFY_SYSTEM_STARTUP);
    EXPECT_EQ(second.callParamSeen, &payload);

    EXPECT_TRUE(UnRegisterNotification(Record, &first, NOTIFY_SYSTEM_STARTUP));
    EXPECT_FALSE(UnRegisterNotification(Record, &first, NOTIFY_SYSTEM_STARTUP));
    log.clear();
    BroadcastNotification(NOTIFY_SYSTEM_STARTUP);
    EXPECT_EQ(log, (std::vector<std::string>{"second"}));

    UnRegisterNotification(Record, &second, NOTIFY_SYSTEM_STARTUP);
    UnRegisterNotification(Record, &other, NOTIFY_SYSTEM_SHUTDOWN);
    EXPECT_FALSE(RegisterNotification(nullptr, nullptr, NOTIFY_SYSTEM_STARTUP));
}

TEST(Notification, ListenersMayUnregisterDuringABroadcast) {
    std::vector<std::string> log;
    Listener victim{"victim", &log};
    Remover remover{&victim, &log};
    RegisterNotification(RemoveSelf, &log, NOTIFY_SYSTEM_STARTUP);
    RegisterNotification(RemoveOther, &remover, NOTIFY_SYSTEM_STARTUP);
    RegisterNotification(Record, &victim, NOTIFY_SYSTEM_STARTUP);

    BroadcastNotification(NOTIFY_SYSTEM_STARTUP);
    // The victim was removed before its turn came, so it is not called.
    EXPECT_EQ(log, (std::vector<std::string>{"once", "remover"}));
    log.clear();
    BroadcastNotification(NOTIFY_SYSTEM_STARTUP);
    EXPECT_EQ(log, (std::vector<std::string>{"remover"}));
    UnRegisterNotification(RemoveOther, &remover, NOTIFY_SYSTEM_STARTUP);
}
