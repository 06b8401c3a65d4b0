#pragma once

#include "platform/Toolkit.h"

class QWidget;

namespace ostrel::ui {

// Names the program to the desktop. No display name is set: Qt would append it to every window caption
// (" — Ostrel WebDAV"), and the captions are exactly the windows' own.
void nameApplication();

// The desktop's own modal dialogs, and the result file in the user's application data folder.
class QtToolkit : public Toolkit {
public:
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    std::string InputBoxWithChoices(const std::string& prompt, const std::string& title,
                                    const std::string& defaultText,
                                    const std::vector<std::string>& choices) override;
    void MsgBox(const std::string& prompt, const std::string& title) override;
    void DetailedMsgBox(const std::string& prompt, const std::string& details,
                        const std::string& title) override;
    bool AskYesNo(const std::string& question, const std::string& title) override;
    int Choose(const std::string& question, const std::vector<std::string>& choices, int defaultChoice,
               int escapeChoice, const std::string& title) override;
    std::string ResultFilePath() override;
};

}  // namespace ostrel::ui
