#pragma once
// What a window handler asks of the window, without Qt: controls by id, the tree, the questions
// (file dialogs, Yes/No), the wait cursor, cursors and the cursor position. The main window
// implements it with Qt widgets; handler tests use a fake.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/prompts.h"

namespace ms::ui {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct ScreenPoint {
    int x = 0, y = 0;
};

// Notification codes, with their Win32 values.
enum Notification : int {
    kClicked = 0,          // BN_CLICKED: a button, check box or radio was clicked
    kKillFocus = 0x200,    // EN_KILLFOCUS: an edit field lost the keyboard focus
    kEditChange = 0x300,   // EN_CHANGE: an edit field's text changed (by the user or by SetText)
    kSelChanged = -402,    // TVN_SELCHANGED: the tree's selection changed
};

using TreeItem = void*;  // null: the root

struct TreeItemData {
    std::int32_t kind = 0;
    std::int32_t index = -1;
};

// The progress of work that may take long. The window shows it in a progress dialog once the
// work has run for about half a second, and keeps itself painted while the work runs.
class Progress {
public:
    virtual ~Progress() = default;
    // `done` of `total` units; returns false once the user asked to cancel.
    virtual bool Update(std::int64_t done, std::int64_t total) = 0;
};

class Controls {
public:
    virtual ~Controls() = default;

    virtual void SetText(int id, const std::string& text) = 0;
    virtual std::string Text(int id) const = 0;
    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool IsChecked(int id) const = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual bool IsEnabled(int id) const = 0;
    // Shows icon resource `icon` on a button in place of its caption.
    virtual void SetIconResource(int id, int icon) = 0;
    virtual ScreenRect ControlScreenRect(int id) const = 0;

    // The tree control. Items show a label and may carry data: the kind and index of the record
    // they stand for, so that a selection does not depend on what the label shows.
    virtual void TreeClear(int id) = 0;
    virtual TreeItem TreeAppend(int id, TreeItem parent, const std::string& label) = 0;
    virtual std::string TreeSelectedLabel(int id) const = 0;
    virtual TreeItem TreeAppendItem(int id, TreeItem parent, const std::string& label, const TreeItemData& data) {
        (void)data;
        return TreeAppend(id, parent, label);
    }
    // The data of the selected item: nothing when no item is selected or it carries none.
    virtual std::optional<TreeItemData> TreeSelectedData(int id) const {
        (void)id;
        return std::nullopt;
    }

    virtual std::optional<std::string> AskFile(const FileRequest& request) = 0;
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    // Tells the user why a command failed (a message box with OK).
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // Starts reporting the progress of a long command described by `text`; the report ends with
    // the object. `cancellable`: the dialog offers Cancel.
    virtual std::unique_ptr<Progress> BeginProgress(const std::string& text, bool cancellable) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // Sets the program's cursor resource `cursor` (130, 132 or 134).
    virtual void SetCursorResource(int cursor) = 0;
    virtual ScreenPoint CursorPos() const = 0;
};

// Shows the wait cursor for the life of the object.
class WaitCursor {
public:
    explicit WaitCursor(Controls& controls) : controls_(controls) { controls_.BeginWaitCursor(); }
    ~WaitCursor() { controls_.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Controls& controls_;
};

}  // namespace ms::ui
