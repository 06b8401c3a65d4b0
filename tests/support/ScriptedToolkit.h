#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Toolkit.h"

namespace ostrel::test {

// Answers the windows' prompts from a script and keeps every message they show.
class ScriptedToolkit : public Toolkit {
public:
    struct Prompt {
        std::string prompt;
        std::string title;
        std::string defaultText;
    };
    // The next input prompt: std::nullopt presses Cancel, a text is typed over the default and confirmed.
    // With nothing scripted, the default is confirmed unchanged.
    std::deque<std::optional<std::string>> inputs;
    std::vector<Prompt> prompts;
    std::vector<std::string> messages;
    std::vector<std::string> titles;
    std::vector<std::string> questions;
    bool answerYes = true;
    std::string resultFile;

    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        prompts.push_back({prompt, title, defaultText});
        if (inputs.empty()) return defaultText;
        std::optional<std::string> answer = inputs.front();
        inputs.pop_front();
        return answer.value_or("");
    }
    void MsgBox(const std::string& prompt, const std::string& title) override {
        messages.push_back(prompt);
        titles.push_back(title);
    }
    bool AskYesNo(const std::string& question, const std::string&) override {
        questions.push_back(question);
        return answerYes;
    }
    std::string ResultFilePath() override { return resultFile; }

    std::string lastMessage() const { return messages.empty() ? std::string() : messages.back(); }
};

}  // namespace ostrel::test
