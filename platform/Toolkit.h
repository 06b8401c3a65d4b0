#pragma once

#include <string>
#include <vector>

namespace ostrel {

// What the windows ask of the desktop beyond their own controls: modal prompts and where the result file
// lives. The application provides the real dialogs; tests answer the prompts and read the messages.
class Toolkit {
public:
    virtual ~Toolkit() = default;

    // A modal input prompt with OK and Cancel: the typed text on OK, an empty string on Cancel.
    virtual std::string InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
    // An input prompt like InputBox whose field is an editable list offering choices (earlier answers, say).
    virtual std::string InputBoxWithChoices(const std::string& prompt, const std::string& title,
                                            const std::string& defaultText,
                                            const std::vector<std::string>& choices) {
        static_cast<void>(choices);
        return InputBox(prompt, title, defaultText);
    }
    // A modal message box with the OK button only and no icon. Lines are separated by CR LF.
    virtual void MsgBox(const std::string& prompt, const std::string& title) = 0;
    // A message box like MsgBox whose details (a server's reply, say) are offered behind a button. A desktop
    // without such a button shows them below the text.
    virtual void DetailedMsgBox(const std::string& prompt, const std::string& details,
                                const std::string& title) {
        MsgBox(details.empty() ? prompt : prompt + "\r\n\r\n" + details, title);
    }
    // A modal question with Yes and No, No the default: true for Yes.
    virtual bool AskYesNo(const std::string& question, const std::string& title) = 0;
    // A modal question with a button for each choice, in order: the index of the one pressed. Enter presses
    // defaultChoice, Esc escapeChoice.
    virtual int Choose(const std::string& question, const std::vector<std::string>& choices,
                       int defaultChoice, int escapeChoice, const std::string& title) = 0;
    // The file through which reply documents are handed to the viewer and the editor. Asked on the worker
    // thread too, where a command's job comes to writing its reply there.
    virtual std::string ResultFilePath() = 0;
};

}  // namespace ostrel
