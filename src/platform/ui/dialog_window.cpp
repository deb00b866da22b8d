#include "platform/ui/dialog_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeWidget>

#include "platform/ui/prompts.h"
#include "platform/ui/viewport_widget.h"

namespace {

// Calls `onFocusOut` when the watched widget loses the keyboard focus.
class FocusOutFilter : public QObject {
public:
    FocusOutFilter(QObject* parent, std::function<void()> onFocusOut)
        : QObject(parent), onFocusOut_(std::move(onFocusOut)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) onFocusOut_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onFocusOut_;
};

}  // namespace

namespace ms::ui {

QString PlainCaption(const char* caption) {
    QString out;
    for (const char* c = caption; *c; ++c) {
        if (*c == '&' && c[1] == '&') {
            out += '&';
            ++c;
        } else if (*c != '&') {
            out += QChar::fromLatin1(*c);
        }
    }
    return out;
}

namespace {

// A multiline button's caption, broken at its last space when it is wider than the button.
QString Wrapped(const QString& caption, const QFontMetrics& metrics, int width) {
    int space = caption.lastIndexOf(' ');
    if (space < 0 || metrics.horizontalAdvance(caption) <= width) return caption;
    QString wrapped = caption;
    wrapped[space] = '\n';
    return wrapped;
}

}  // namespace

DialogWindow::DialogWindow(const DialogTemplate& dialog, QWidget* parent)
    : QDialog(parent), units_(screen() ? screen()->logicalDotsPerInch() : 96.0) {
    setWindowTitle(QString::fromLatin1(dialog.title));
    // The dialog font: 8 points, in the narrow sans-serif faces closest to the Windows dialog font.
    QFont font = this->font();
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSize(8);
    setFont(font);
    setFixedSize(units_.X(dialog.width), units_.Y(dialog.height));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAcceptDrops(false);  // dropped files are ignored
    QButtonGroup* radioGroup = nullptr;
    for (const ControlSpec& control : dialog.controls) CreateControl(control, radioGroup);
    // Group boxes are frames behind the controls they enclose.
    for (const ControlSpec& control : dialog.controls)
        if (control.kind == ControlKind::GroupBox) controls_[control.id]->lower();
}

void DialogWindow::CreateControl(const ControlSpec& control, QButtonGroup*& radioGroup) {
    const QString caption = QString::fromLatin1(control.caption);
    QWidget* widget = nullptr;
    const int id = control.id;
    if (control.style & kGroupStart) radioGroup = nullptr;
    switch (control.kind) {
        case ControlKind::GroupBox:
            widget = new QGroupBox(caption, this);
            break;
        case ControlKind::PushButton: {
            auto* button = new QPushButton(caption, this);
            if (control.style & kMultiline) button->setText(Wrapped(caption, button->fontMetrics(), units_.Map(control.rect).width - 6));
            connect(button, &QPushButton::clicked, this, [this, id] { Command(id, kClicked); });
            widget = button;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(caption, this);
            connect(box, &QCheckBox::clicked, this, [this, id] { Command(id, kClicked); });
            widget = box;
            break;
        }
        case ControlKind::Radio: {
            QAbstractButton* button = nullptr;
            if (control.style & kPushLike) {
                auto* push = new QPushButton(caption, this);
                push->setCheckable(true);
                push->setAutoDefault(false);
                button = push;
            } else {
                auto* radio = new QRadioButton(caption, this);
                radio->setAutoExclusive(false);
                button = radio;
            }
            if (!radioGroup) {
                radioGroup = new QButtonGroup(this);
                radioGroup->setExclusive(true);
            }
            radioGroup->addButton(button);
            radioGroups_[id] = radioGroup;
            connect(button, &QAbstractButton::clicked, this, [this, id] { Command(id, kClicked); });
            widget = button;
            break;
        }
        case ControlKind::Text: {
            auto* label = new QLabel(PlainCaption(control.caption), this);
            label->setAlignment(Qt::AlignVCenter | ((control.style & kCentred) ? Qt::AlignHCenter : Qt::AlignLeft));
            label->setWordWrap(true);
            widget = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(this);
            edit->setAlignment(Qt::AlignCenter);
            connect(edit, &QLineEdit::textChanged, this, [this, id] { Command(id, kEditChange); });
            edit->installEventFilter(new FocusOutFilter(edit, [this, id] { Command(id, kKillFocus); }));
            widget = edit;
            break;
        }
        case ControlKind::TreeView: {
            auto* tree = new QTreeWidget(this);
            tree->setHeaderHidden(true);
            tree->setRootIsDecorated(true);
            tree->setDragEnabled(false);
            connect(tree, &QTreeWidget::currentItemChanged, this, [this, id] { Command(id, kSelChanged); });
            widget = tree;
            break;
        }
        case ControlKind::EtchedFrame:
            widget = new ViewportWidget(this);
            break;
    }
    const PixelRect r = units_.Map(control.rect);
    widget->setGeometry(r.x, r.y, r.width, r.height);
    widget->setObjectName(QString::number(id));
    controls_[id] = widget;
}

void DialogWindow::Command(int id, int notification) {
    if (onCommand) onCommand(id, notification);
}

QWidget* DialogWindow::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void DialogWindow::SetText(int id, const std::string& text) {
    QWidget* w = Control(id);
    const QString t = QString::fromStdString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(t);
    else if (auto* label = qobject_cast<QLabel*>(w)) label->setText(t);
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(t);
    else if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(t);
}

std::string DialogWindow::Text(int id) const {
    QWidget* w = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
    if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title().toStdString();
    return {};
}

void DialogWindow::SetCheck(int id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    if (!button) return;
    auto group = radioGroups_.find(id);
    if (group == radioGroups_.end() || checked) {
        button->setChecked(checked);  // an exclusive group unchecks the others
        return;
    }
    // An exclusive group refuses to uncheck its checked button; Win32 radios may all be clear.
    group->second->setExclusive(false);
    button->setChecked(false);
    group->second->setExclusive(true);
}

bool DialogWindow::IsChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    return button && button->isChecked();
}

void DialogWindow::Enable(int id, bool enabled) {
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

bool DialogWindow::IsEnabled(int id) const {
    QWidget* w = Control(id);
    return w && w->isEnabled();
}

void DialogWindow::SetIcon(int id, const QIcon& icon) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    if (!button) return;
    button->setIcon(icon);
    button->setText(QString());
    const int side = std::min({32, button->width() - 4, button->height() - 4});
    button->setIconSize(QSize(side, side));
}

void DialogWindow::SetIconResource(int id, int icon) {
    SetIcon(id, QIcon(QStringLiteral(":/icons/%1.png").arg(icon)));
}

ScreenRect DialogWindow::ControlScreenRect(int id) const {
    QWidget* w = Control(id);
    if (!w) return {};
    QPoint topLeft = w->mapToGlobal(QPoint(0, 0));
    return {topLeft.x(), topLeft.y(), topLeft.x() + w->width(), topLeft.y() + w->height()};
}

void DialogWindow::TreeClear(int id) {
    if (QTreeWidget* tree = Tree(id)) tree->clear();
}

TreeItem DialogWindow::TreeAppend(int id, TreeItem parent, const std::string& label) {
    QTreeWidget* tree = Tree(id);
    if (!tree) return nullptr;
    const QStringList text{QString::fromStdString(label)};
    auto* item = parent ? new QTreeWidgetItem(static_cast<QTreeWidgetItem*>(parent), text)
                        : new QTreeWidgetItem(tree, text);
    return item;
}

std::string DialogWindow::TreeSelectedLabel(int id) const {
    QTreeWidget* tree = Tree(id);
    if (!tree || !tree->currentItem()) return {};
    return tree->currentItem()->text(0).toStdString();
}

std::optional<std::string> DialogWindow::AskFile(const FileRequest& request) { return ChooseFile(this, request); }

bool DialogWindow::AskYesNo(const std::string& text, const std::string& title) {
    return CurrentPrompts().AskYesNo(this, text, title);
}

void DialogWindow::ShowMessage(const std::string& text, const std::string& title) {
    CurrentPrompts().ShowMessage(this, text, title);
}

namespace {

// A QProgressDialog that appears after half a second; each update lets the window repaint.
class DialogProgress : public Progress {
public:
    DialogProgress(QWidget* owner, const std::string& text, bool cancellable)
        : dialog_(QString::fromStdString(text), cancellable ? QStringLiteral("Cancel") : QString(), 0, 1000, owner) {
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(500);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
        dialog_.setValue(0);
    }
    bool Update(std::int64_t done, std::int64_t total) override {
        const int value = total > 0 ? static_cast<int>(std::min<std::int64_t>(1000, done * 1000 / total)) : 0;
        if (value != dialog_.value()) dialog_.setValue(value);  // shows the dialog when due
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (dialog_.isVisible()) QCoreApplication::processEvents();  // Cancel can be pressed
        return !dialog_.wasCanceled();
    }

private:
    QProgressDialog dialog_;
};

}  // namespace

std::unique_ptr<Progress> DialogWindow::BeginProgress(const std::string& text, bool cancellable) {
    return std::make_unique<DialogProgress>(this, text, cancellable);
}

void DialogWindow::BeginWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void DialogWindow::EndWaitCursor() { QApplication::restoreOverrideCursor(); }

void DialogWindow::DefineCursor(int cursor, int hotX, int hotY) { cursorHotSpots_[cursor] = QPoint(hotX, hotY); }

void DialogWindow::SetCursorResource(int cursor) {
    QPoint hot = cursorHotSpots_.count(cursor) ? cursorHotSpots_[cursor] : QPoint(-1, -1);
    QPixmap picture(QStringLiteral(":/cursors/%1.png").arg(cursor));
    setCursor(picture.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(picture, hot.x(), hot.y()));
}

ScreenPoint DialogWindow::CursorPos() const {
    QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}

QTreeWidget* DialogWindow::Tree(int id) const { return qobject_cast<QTreeWidget*>(Control(id)); }

ViewportWidget* DialogWindow::Viewport(int id) const { return qobject_cast<ViewportWidget*>(Control(id)); }

void DialogWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnCancel();
}

void DialogWindow::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    OnMoved();
}

}  // namespace ms::ui
