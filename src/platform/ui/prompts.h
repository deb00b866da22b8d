#pragma once
// The questions the program asks: file open and save dialogs and a Yes/No message box. They go
// through one replaceable object so that tests answer them instead of a person.
#include <deque>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace ms::ui {

struct FileRequest {
    bool save = false;
    // "Description|patterns|" pairs, patterns separated by ';', as Win32 file dialogs take them.
    std::string filter;
    std::string initialName;
    std::string defaultExtension;  // empty: none
    bool overwritePrompt = false;
    bool mustExist = false;
};

class Prompts {
public:
    virtual ~Prompts() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> AskFile(QWidget* owner, const FileRequest& request) = 0;
    // True for Yes.
    virtual bool AskYesNo(QWidget* owner, const std::string& text, const std::string& title) = 0;
    // A message box with an OK button: tells the user why a command failed.
    virtual void ShowMessage(QWidget* owner, const std::string& text, const std::string& title) = 0;
};

// The prompts in use: the real Qt dialogs unless a test installed its own.
Prompts& CurrentPrompts();
void SetPromptsForTesting(Prompts* prompts);  // null restores the real dialogs

// Asks for a file. After a confirmed choice the working directory becomes the chosen file's
// folder, as the Win32 dialogs leave it, so that texture names are found beside the model.
std::optional<std::string> ChooseFile(QWidget* owner, const FileRequest& request);

// Answers preloaded by a test, in order; records every question asked.
class ScriptedPrompts : public Prompts {
public:
    void AnswerFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    void AnswerYesNo(bool yes) { yesNo_.push_back(yes); }
    std::optional<std::string> AskFile(QWidget* owner, const FileRequest& request) override;
    bool AskYesNo(QWidget* owner, const std::string& text, const std::string& title) override;
    void ShowMessage(QWidget* owner, const std::string& text, const std::string& title) override;

    std::vector<FileRequest> fileRequests;
    std::vector<std::string> questions;  // "title: text"
    std::vector<std::string> messages;   // "title: text"

private:
    std::deque<std::optional<std::string>> files_;
    std::deque<bool> yesNo_;
};

// Qt name filters ("Description (patterns)") from a Win32 filter string.
std::vector<std::string> QtNameFilters(const std::string& filter);

}  // namespace ms::ui
