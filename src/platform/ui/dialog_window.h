#pragma once
// A Qt dialog built from a DialogTemplate, with the Win32 dialog services the handlers use:
// controls by id (text, check, enabled state, icon), automatic radio groups (a group runs from a
// control marked group start to the next one; checking a radio unchecks the others of its
// group), and every command delivered to the owner as (id, notification).
#include <functional>
#include <map>
#include <string>

#include <QDialog>
#include <QIcon>

#include "platform/ui/controls.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/dialog_units.h"

class QButtonGroup;
class QTreeWidget;

namespace ms::ui {

class ViewportWidget;

class DialogWindow : public QDialog, public Controls {
    Q_OBJECT
public:
    explicit DialogWindow(const DialogTemplate& dialog, QWidget* parent = nullptr);
    ~DialogWindow() override;

    // Every command of every control reaches this function.
    std::function<void(int id, int notification)> onCommand;

    QWidget* Control(int id) const;
    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    void SetCheck(int id, bool checked) override;
    bool IsChecked(int id) const override;
    void Enable(int id, bool enabled) override;
    bool IsEnabled(int id) const override;
    // Shows `icon` on a button in place of its caption.
    void SetIcon(int id, const QIcon& icon);
    // Icon resources are the Qt resources ":/icons/<number>.png".
    void SetIconResource(int id, int icon) override;
    ScreenRect ControlScreenRect(int id) const override;

    void TreeClear(int id) override;
    TreeItem TreeAppend(int id, TreeItem parent, const std::string& label) override;
    std::string TreeSelectedLabel(int id) const override;
    TreeItem TreeAppendItem(int id, TreeItem parent, const std::string& label, const TreeItemData& data) override;
    std::optional<TreeItemData> TreeSelectedData(int id) const override;
    QTreeWidget* Tree(int id) const;

    std::optional<std::string> AskFile(const FileRequest& request) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    std::unique_ptr<Progress> BeginProgress(const std::string& text, bool cancellable) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    // Cursor resources are the Qt resources ":/cursors/<number>.png", with the hot spots given
    // here first.
    void DefineCursor(int cursor, int hotX, int hotY);
    void SetCursorResource(int cursor) override;
    ScreenPoint CursorPos() const override;
    ViewportWidget* Viewport(int id) const;
    const DialogUnits& units() const { return units_; }

protected:
    // Enter (the dialog's OK command).
    virtual void OnOk() {}
    // The close box, Escape and Alt+F4 (the dialog's Cancel command). Call EndDialog to close.
    virtual void OnCancel() { EndDialog(0); }
    // The window was moved.
    virtual void OnMoved() {}
    void EndDialog(int result) { QDialog::done(result); }

    void accept() override { OnOk(); }
    void reject() override { OnCancel(); }
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void CreateControl(const ControlSpec& control, QButtonGroup*& radioGroup);
    void Command(int id, int notification);

    DialogUnits units_;
    std::map<int, QWidget*> controls_;
    std::map<int, QButtonGroup*> radioGroups_;  // radio id -> its group
    std::map<int, QPoint> cursorHotSpots_;
};

// Win32 captions mark mnemonics with '&' and show "&&" as '&'; static text shows no mnemonic.
QString PlainCaption(const char* caption);

}  // namespace ms::ui
