/// @file messages_test.cpp
/// @brief The user-interface service: batch mode, the scripted test service, and the host
///        assertion.
#include "common/scripted_user_interface.h"
#include "host/messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

/// Redirects file descriptor 2 into a temporary file for its lifetime.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~StderrCapture() {
        Restore();
        std::fclose(file_);
    }
    /// Everything written so far; ends the capture.
    std::string Text() {
        Restore();
        std::rewind(file_);
        std::string text;
        char buffer[256];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
            text.append(buffer, n);
        return text;
    }

private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    std::FILE *file_;
    int saved_ = -1;
};

/// Puts batch mode in place for its lifetime, whatever service was installed.
class BatchMode {
public:
    BatchMode() : previous_(SetUserInterface(nullptr)) {}
    ~BatchMode() { SetUserInterface(previous_); }

private:
    UserInterfaceService *previous_;
};

}  // namespace

TEST(BatchUserInterface, PrintsTitleAndTextToStandardError) {
    BatchMode batch;
    StderrCapture capture;
    const int answer = MessageBox(nullptr, "The registration file cannot be written.", "Nimbra",
                                  MB_OK | MB_ICONERROR);
    EXPECT_EQ(capture.Text(), "Nimbra: The registration file cannot be written.\n");
    EXPECT_EQ(answer, IDOK);
}

TEST(BatchUserInterface, AnswersTheDefaultButton) {
    BatchMode batch;
    struct Case {
        UINT flags;
        int expected;
    };
    const Case cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONINFORMATION, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL, IDYES},
        {MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONWARNING, IDNO},
    };
    StderrCapture quiet;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        EXPECT_EQ(MessageBox(nullptr, "Replace the file?", "Warning", c.flags), c.expected);
        EXPECT_EQ(DefaultAnswer(c.flags), c.expected);
    }
}

TEST(BatchUserInterface, ChoosesNothingAndSaysSo) {
    BatchMode batch;
    StderrCapture capture;
    ListChoiceRequest list;
    list.title = "Controllers";
    list.items = {"Default", "Noise"};
    FileChoiceRequest file;
    file.title = "Open Library";
    file.defaultExtension = "nbr";
    EXPECT_FALSE(GetUserInterface().ChooseFromList(list).has_value());
    EXPECT_FALSE(GetUserInterface().ChooseFile(file).has_value());
    const std::string text = capture.Text();
    EXPECT_NE(text.find("Controllers: "), std::string::npos) << text;
    EXPECT_NE(text.find("Open Library: "), std::string::npos) << text;
}

TEST(BatchUserInterface, NullTextAndTitleAreShownEmpty) {
    BatchMode batch;
    StderrCapture capture;
    EXPECT_EQ(MessageBox(nullptr, nullptr, nullptr, MB_YESNO), IDYES);
    EXPECT_EQ(capture.Text(), ": \n");
}

TEST(ScriptedUserInterface, RecordsRequestsAndAnswersFromTheScript) {
    ScriptedUserInterface ui;
    ui.ScriptMessageAnswer(IDNO);
    ui.ScriptListChoice(1);
    ui.ScriptFileChoice("/tmp/fire.nbr");

    EXPECT_EQ(MessageBox(nullptr, "Overwrite?", "Nimbra", MB_YESNO | MB_ICONQUESTION), IDNO);
    ListChoiceRequest list;
    list.title = "Controllers";
    list.items = {"Default", "Noise"};
    EXPECT_EQ(GetUserInterface().ChooseFromList(list), 1);
    FileChoiceRequest file;
    file.title = "Save Library";
    file.save = true;
    EXPECT_EQ(GetUserInterface().ChooseFile(file), "/tmp/fire.nbr");

    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].title, "Nimbra");
    EXPECT_EQ(ui.Messages()[0].text, "Overwrite?");
    EXPECT_EQ(ui.Messages()[0].flags, MB_YESNO | MB_ICONQUESTION);
    ASSERT_EQ(ui.ListChoices().size(), 1u);
    EXPECT_EQ(ui.ListChoices()[0].items.size(), 2u);
    ASSERT_EQ(ui.FileChoices().size(), 1u);
    EXPECT_TRUE(ui.FileChoices()[0].save);
}

TEST(ScriptedUserInterface, FallsBackToTheDefaultWhenTheScriptRunsOut) {
    ScriptedUserInterface ui;
    ui.ScriptMessageAnswer(IDNO);
    ui.ScriptListChoice(std::nullopt);  // a scripted cancel
    EXPECT_EQ(MessageBox(nullptr, "First", "Warning", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBox(nullptr, "Second", "Warning", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBox(nullptr, "Third", "Warning", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_FALSE(GetUserInterface().ChooseFromList({}).has_value());
    EXPECT_FALSE(GetUserInterface().ChooseFromList({}).has_value());
    EXPECT_FALSE(GetUserInterface().ChooseFile({}).has_value());
    EXPECT_EQ(ui.Messages().size(), 3u);
    EXPECT_EQ(ui.MessagesTitled("Warning").size(), 3u);
}

TEST(ScriptedUserInterface, RestoresThePreviousServiceWhenDestroyed) {
    ScriptedUserInterface outer;
    {
        ScriptedUserInterface inner;
        EXPECT_EQ(&GetUserInterface(), &inner);
        MessageBox(nullptr, "to inner", "Nimbra", MB_OK);
        EXPECT_EQ(inner.Messages().size(), 1u);
    }
    EXPECT_EQ(&GetUserInterface(), &outer);
    MessageBox(nullptr, "to outer", "Nimbra", MB_OK);
    ASSERT_EQ(outer.Messages().size(), 1u);
    EXPECT_EQ(outer.Messages()[0].text, "to outer");
}

TEST(ScriptedUserInterface, RecordsRequestsFromSeveralThreads) {
    ScriptedUserInterface ui;
    constexpr int kThreads = 4;
    constexpr int kMessagesEach = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < kMessagesEach; ++i)
                MessageBox(nullptr, "busy", "Render", MB_OK);
        });
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(ui.Messages().size(), static_cast<std::size_t>(kThreads * kMessagesEach));
}

TEST(HostAssertion, NamesFileAndLineAndThrowsInsteadOfExiting) {
    ScriptedUserInterface ui;
    const int line = __LINE__ + 2;
    try {
        DbgAssert(1 + 1 == 3);
        FAIL() << "DbgAssert did not throw";
    } catch (const HostAssertion &failure) {
        EXPECT_STREQ(failure.file(), __FILE__);
        EXPECT_EQ(failure.line(), line);
        const std::string what = failure.what();
        EXPECT_NE(what.find(std::string(__FILE__) + ":" + std::to_string(line)),
                  std::string::npos)
            << what;
        EXPECT_NE(what.find("1 + 1 == 3"), std::string::npos) << what;
    }
}

TEST(HostAssertion, ReportsThroughTheServiceBeforeThrowing) {
    ScriptedUserInterface ui;
    EXPECT_THROW(DbgAssert(false), HostAssertion);
    const auto reports = ui.MessagesTitled("Assertion failed");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find(__FILE__), std::string::npos) << reports[0].text;
    EXPECT_NE(reports[0].text.find("false"), std::string::npos) << reports[0].text;
    EXPECT_TRUE(reports[0].flags & MB_ICONERROR);
}

TEST(HostAssertion, PassingAssertionEvaluatesOnceAndSaysNothing) {
    ScriptedUserInterface ui;
    int evaluations = 0;
    EXPECT_NO_THROW(DbgAssert(++evaluations == 1));
    EXPECT_EQ(evaluations, 1);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST(HostAssertion, KeepsItsOwnCopyOfTheFileName) {
    // A module's assertion names a literal of that module; the exception may outlive it.
    auto file = std::make_unique<std::string>("plugins/standard/fireball_shape.cpp");
    const HostAssertion failure(file->c_str(), 41, "table != nullptr");
    file.reset();
    EXPECT_STREQ(failure.file(), "plugins/standard/fireball_shape.cpp");
    EXPECT_EQ(failure.line(), 41);
}
