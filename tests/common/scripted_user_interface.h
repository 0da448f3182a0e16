/// @file scripted_user_interface.h
/// @brief A user-interface service for tests: records every request the system makes and
///        answers from a script, falling back to what batch mode would answer.
#pragma once

#include "host/messages.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

/// Installed for its lifetime (the previous service comes back when it goes). Safe to call
/// from several threads, as render threads may raise assertions.
///
///     ScriptedUserInterface ui;
///     ui.ScriptMessageAnswer(IDNO);
///     RunTheCode();
///     ASSERT_EQ(ui.Messages().size(), 1u);
///     EXPECT_EQ(ui.Messages()[0].title, "Nimbra");
class ScriptedUserInterface : public UserInterfaceService {
public:
    ScriptedUserInterface() { previous_ = SetUserInterface(this); }
    ~ScriptedUserInterface() override { SetUserInterface(previous_); }
    ScriptedUserInterface(const ScriptedUserInterface &) = delete;
    ScriptedUserInterface &operator=(const ScriptedUserInterface &) = delete;

    // Script: answers are used in order, one per request of their kind; when they run out
    // the default answer of the request is given (default button, no choice, no file).
    void ScriptMessageAnswer(int answer) {
        Locked([&] { messageAnswers_.push_back(answer); });
    }
    void ScriptListChoice(std::optional<int> index) {
        Locked([&] { listAnswers_.push_back(index); });
    }
    void ScriptFileChoice(std::optional<std::string> path) {
        Locked([&] { fileAnswers_.push_back(std::move(path)); });
    }

    // What was asked, in order (copies, so they stay valid while other threads ask more)
    std::vector<MessageRequest> Messages() const {
        return Locked([&] { return messages_; });
    }
    std::vector<ListChoiceRequest> ListChoices() const {
        return Locked([&] { return listChoices_; });
    }
    std::vector<FileChoiceRequest> FileChoices() const {
        return Locked([&] { return fileChoices_; });
    }
    /// The messages whose title is `title`.
    std::vector<MessageRequest> MessagesTitled(const std::string &title) const {
        std::vector<MessageRequest> found;
        for (const MessageRequest &m : Messages())
            if (m.title == title) found.push_back(m);
        return found;
    }
    void Clear() {
        Locked([&] {
            messages_.clear();
            listChoices_.clear();
            fileChoices_.clear();
        });
    }

    // UserInterfaceService
    int ShowMessage(const MessageRequest &request) override {
        return Locked([&] {
            messages_.push_back(request);
            return Next(messageAnswers_).value_or(DefaultAnswer(request.flags));
        });
    }
    std::optional<int> ChooseFromList(const ListChoiceRequest &request) override {
        return Locked([&] {
            listChoices_.push_back(request);
            return Next(listAnswers_).value_or(std::nullopt);
        });
    }
    std::optional<std::string> ChooseFile(const FileChoiceRequest &request) override {
        return Locked([&] {
            fileChoices_.push_back(request);
            return Next(fileAnswers_).value_or(std::nullopt);
        });
    }

private:
    template <typename T>
    static std::optional<T> Next(std::deque<T> &script) {
        if (script.empty()) return std::nullopt;
        T answer = std::move(script.front());
        script.pop_front();
        return answer;
    }
    template <typename F>
    auto Locked(F &&f) const -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }

    UserInterfaceService *previous_ = nullptr;
    mutable std::mutex mutex_;
    std::deque<int> messageAnswers_;
    std::deque<std::optional<int>> listAnswers_;
    std::deque<std::optional<std::string>> fileAnswers_;
    std::vector<MessageRequest> messages_;
    std::vector<ListChoiceRequest> listChoices_;
    std::vector<FileChoiceRequest> fileChoices_;
};
