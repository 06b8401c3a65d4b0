#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Toolkit.h"

namespace ostrel::test {

// Answers the windows' prompts from a script and keeps every prompt and message box they show.
class ScriptedToolkit : public Toolkit {
public:
    struct Shown {
        std::string text;     // a prompt's question, a message box's text
        std::string details;  // a prompt's default answer, a message box's details
        std::string title;
    };
    // The next input prompt: std::nullopt presses Cancel, a text is typed over the default and confirmed.
    // With nothing scripted, the default is confirmed unchanged.
    std::deque<std::optional<std::string>> inputs;
    std::vector<Shown> prompts;
    std::vector<Shown> boxes;
    // The answers to the Yes/No questions in turn, true for Yes; Yes to any question beyond them.
    std::deque<bool> answers;
    std::vector<Shown> questions;
    // The buttons pressed in turn in questions with choices of their own; the default beyond them. Each
    // such question is kept in questions too, its choices in details joined by "/".
    std::deque<int> choices;
    std::string resultFile;
    // The choices each input prompt with choices offered, in turn.
    std::vector<std::vector<std::string>> offeredChoices;

    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        prompts.push_back({prompt, defaultText, title});
        const std::optional<std::string> answer = inputs.empty() ? defaultText : inputs.front();
        if (!inputs.empty()) inputs.pop_front();
        return answer.value_or("");
    }
    std::string InputBoxWithChoices(const std::string& prompt, const std::string& title,
                                    const std::string& defaultText,
                                    const std::vector<std::string>& listed) override {
        offeredChoices.push_back(listed);
        return InputBox(prompt, title, defaultText);
    }
    void MsgBox(const std::string& prompt, const std::string& title) override {
        boxes.push_back({prompt, "", title});
    }
    void DetailedMsgBox(const std::string& prompt, const std::string& details,
                        const std::string& title) override {
        boxes.push_back({prompt, details, title});
    }
    bool AskYesNo(const std::string& question, const std::string& title) override {
        questions.push_back({question, "", title});
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    int Choose(const std::string& question, const std::vector<std::string>& offered, int defaultChoice, int,
               const std::string& title) override {
        std::string joined;
        for (const std::string& choice : offered) joined += (joined.empty() ? "" : "/") + choice;
        questions.push_back({question, joined, title});
        if (choices.empty()) return defaultChoice;
        const int chosen = choices.front();
        choices.pop_front();
        return chosen;
    }
    std::string ResultFilePath() override { return resultFile; }

    std::string last() const { return boxes.empty() ? std::string() : boxes.back().text; }
};

}  // namespace ostrel::test
