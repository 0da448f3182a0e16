/// @file diagnostics_test.cpp
/// @brief Diagnostics sections: registration, order, replacement, removal.
#include "host/diagnostics.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Echo(void *param) {
    return *static_cast<std::string *>(param);
}

std::string Counting(void *param) {
    return std::to_string(++*static_cast<int *>(param));
}

}  // namespace

TEST(Diagnostics, SectionsAreWrittenWhenCollectedInRegistrationOrder) {
    std::string first = "one", second = "two";
    int calls = 0;
    ASSERT_TRUE(RegisterDiagnostics("First", Echo, &first));
    ASSERT_TRUE(RegisterDiagnostics("Second", Echo, &second));
    ASSERT_TRUE(RegisterDiagnostics("Counter", Counting, &calls));
    EXPECT_FALSE(RegisterDiagnostics("Nothing", nullptr, nullptr));

    first = "one, changed";
    std::vector<DiagnosticsSection> sections = CollectDiagnostics();
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].title, "First");
    EXPECT_EQ(sections[0].text, "one, changed");
    EXPECT_EQ(sections[1].text, "two");
    EXPECT_EQ(sections[2].text, "1");
    EXPECT_EQ(CollectDiagnostics()[2].text, "2");

    // Registering again renames, and keeps the place.
    ASSERT_TRUE(RegisterDiagnostics("First again", Echo, &first));
    sections = CollectDiagnostics();
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].title, "First again");

    EXPECT_TRUE(UnRegisterDiagnostics(Echo, &first));
    EXPECT_FALSE(UnRegisterDiagnostics(Echo, &first));
    EXPECT_TRUE(UnRegisterDiagnostics(Echo, &second));
    EXPECT_TRUE(UnRegisterDiagnostics(Counting, &calls));
    EXPECT_TRUE(CollectDiagnostics().empty());
}
