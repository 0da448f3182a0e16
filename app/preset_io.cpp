/// @file preset_io.cpp
/// @brief Answering an object's preset file choice with a path, and reporting what happened.
#include "preset_io.h"

#include <filesystem>
#include <optional>
#include <utility>

namespace {

/// While it lives, answers every file choice with one path and keeps the messages; lists are
/// left to the service installed before it.
class PresetAnswers : public UserInterfaceService {
public:
    explicit PresetAnswers(std::string path)
        : path_(std::move(path)), outer_(&GetUserInterface()) {
        restore_ = SetUserInterface(this);
    }
    ~PresetAnswers() override { SetUserInterface(restore_); }
    PresetAnswers(const PresetAnswers &) = delete;
    PresetAnswers &operator=(const PresetAnswers &) = delete;

    int ShowMessage(const MessageRequest &request) override {
        messages_.push_back(request);
        return DefaultAnswer(request.flags);
    }
    std::optional<int> ChooseFromList(const ListChoiceRequest &request) override {
        return outer_->ChooseFromList(request);
    }
    std::optional<std::string> ChooseFile(const FileChoiceRequest &) override { return path_; }

    std::vector<MessageRequest> TakeMessages() { return std::move(messages_); }

private:
    std::string path_;
    UserInterfaceService *outer_;
    UserInterfaceService *restore_ = nullptr;
    std::vector<MessageRequest> messages_;
};

template <typename Run>
PresetResult WithAnswer(const std::string &path, Run &&run) {
    PresetAnswers answers(path);
    PresetResult result;
    result.outcome = run();
    result.messages = answers.TakeMessages();
    return result;
}

}  // namespace

std::string PresetResult::Summary() const {
    std::string text;
    for (const MessageRequest &m : messages) {
        std::string line = m.text;
        for (char &c : line)
            if (c == '\n') c = ' ';
        text += (text.empty() ? "" : "; ") + line;
    }
    if (!text.empty()) return text;
    switch (outcome) {
        case PresetOutcome::Done:
            return "done";
        case PresetOutcome::Cancelled:
            return "no file was chosen";
        default:
            return "the file is too short to be a preset file";
    }
}

std::string PresetPath(IPresetFile &presets, const std::string &path) {
    if (!std::filesystem::path(path).extension().empty()) return path;
    return path + "." + presets.PresetExtension();
}

PresetResult SaveObjectPreset(IPresetFile &presets, const std::string &path) {
    return WithAnswer(PresetPath(presets, path), [&] { return presets.SavePreset(); });
}

PresetResult LoadObjectPreset(IPresetFile &presets, const std::string &path) {
    return WithAnswer(path, [&] { return presets.LoadPreset(); });
}
