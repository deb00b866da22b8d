#include "platform/ui/prompts.h"

#include <filesystem>

#include <QFileDialog>
#include <QMessageBox>

namespace ms::ui {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// The patterns of a Win32 filter: description, patterns, description, patterns, ...
std::vector<std::pair<std::string, std::vector<std::string>>> FilterPairs(const std::string& filter) {
    std::vector<std::pair<std::string, std::vector<std::string>>> pairs;
    std::vector<std::string> parts = Split(filter, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) break;
        pairs.emplace_back(parts[i], Split(parts[i + 1], ';'));
    }
    return pairs;
}

class QtPrompts : public Prompts {
public:
    std::optional<std::string> AskFile(QWidget* owner, const FileRequest& request) override {
        QFileDialog dialog(owner);
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.save || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        QStringList filters;
        for (const std::string& f : QtNameFilters(request.filter)) filters << QString::fromStdString(f);
        dialog.setNameFilters(filters);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
        if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
        if (!request.defaultExtension.empty()) {
            // Like the Win32 dialog, a name typed without extension takes the chosen filter's.
            auto pairs = FilterPairs(request.filter);
            auto suffixFor = [pairs, request](const QString& nameFilter) {
                for (std::size_t i = 0; i < pairs.size(); ++i)
                    if (nameFilter.startsWith(QString::fromStdString(pairs[i].first)) && !pairs[i].second.empty()) {
                        std::string ext = std::filesystem::path(pairs[i].second[0]).extension().string();
                        if (ext.size() > 1 && ext.find('*') == std::string::npos) return QString::fromStdString(ext.substr(1));
                    }
                return QString::fromStdString(request.defaultExtension);
            };
            dialog.setDefaultSuffix(suffixFor(dialog.selectedNameFilter()));
            QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                             [&dialog, suffixFor](const QString& f) { dialog.setDefaultSuffix(suffixFor(f)); });
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().front().toStdString();
    }

    bool AskYesNo(QWidget* owner, const std::string& text, const std::string& title) override {
        return QMessageBox::question(owner, QString::fromStdString(title), QString::fromStdString(text),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    }

    void ShowMessage(QWidget* owner, const std::string& text, const std::string& title) override {
        QMessageBox::warning(owner, QString::fromStdString(title), QString::fromStdString(text));
    }
};

Prompts* installed = nullptr;

}  // namespace

std::vector<std::string> QtNameFilters(const std::string& filter) {
    std::vector<std::string> out;
    for (const auto& [description, patterns] : FilterPairs(filter)) {
        std::string joined;
        for (const std::string& p : patterns) joined += (joined.empty() ? "" : " ") + p;
        out.push_back(description + " (" + joined + ")");
    }
    return out;
}

Prompts& CurrentPrompts() {
    static QtPrompts real;
    return installed ? *installed : real;
}

void SetPromptsForTesting(Prompts* prompts) { installed = prompts; }

std::optional<std::string> ChooseFile(QWidget* owner, const FileRequest& request) {
    std::optional<std::string> path = CurrentPrompts().AskFile(owner, request);
    if (path) {
        std::error_code ignored;
        std::filesystem::path folder = std::filesystem::absolute(*path, ignored).parent_path();
        if (!folder.empty()) std::filesystem::current_path(folder, ignored);
    }
    return path;
}

std::optional<std::string> ScriptedPrompts::AskFile(QWidget*, const FileRequest& request) {
    fileRequests.push_back(request);
    if (files_.empty()) return std::nullopt;
    std::optional<std::string> answer = files_.front();
    files_.pop_front();
    return answer;
}

bool ScriptedPrompts::AskYesNo(QWidget*, const std::string& text, const std::string& title) {
    questions.push_back(title + ": " + text);
    if (yesNo_.empty()) return true;  // unanswered: the choice that changes nothing
    bool answer = yesNo_.front();
    yesNo_.pop_front();
    return answer;
}

void ScriptedPrompts::ShowMessage(QWidget*, const std::string& text, const std::string& title) {
    messages.push_back(title + ": " + text);
}

}  // namespace ms::ui
