#include "app/main_dialog.h"

#include <cstdlib>

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>

#include "edit/control_ids.h"
#include "app/main_dialog_template.h"
#include "platform/d3d8/d3d8states.h"
#include "platform/ui/viewport_widget.h"
#include "skin/camera.h"

// The icons and cursors are linked from a static library: register them explicitly.
static void InitResources() { Q_INIT_RESOURCE(resources); }

namespace ms::app {
namespace {

struct IconButton {
    int id;
    int icon;
};

// The sixteen icon buttons, in the order their icons are set.
const IconButton kIconButtons[] = {
    {1095, 144}, {1096, 145}, {1097, 146}, {1098, 147}, {1086, 148}, {1087, 149}, {1088, 150}, {1084, 153},
    {1082, 154}, {1083, 155}, {1089, 158}, {1091, 161}, {1090, 159}, {1093, 156}, {1094, 157}, {1085, 160},
};

// The handler group that serves control `id`.
int Group(int id) {
    for (const ui::ControlSpec& c : MainDialogTemplate().controls)
        if (c.id == id) return c.group;
    return HandlerGroup::kNone;
}

}  // namespace

MainDialog::MainDialog(EditorState& state) : ui::DialogWindow(MainDialogTemplate()), state_(state) {
    InitResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/128.png")));
    setMouseTracking(true);
    DefineCursor(130, 15, 15);
    DefineCursor(132, 8, 8);
    DefineCursor(134, 6, 8);
    onCommand = [this](int id, int notification) { OnCommandReceived(id, notification); };
    // The About box is also on F1, where Linux programs keep their help.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &MainDialog::ShowAbout);
    const std::pair<QKeySequence, void (MainDialog::*)()> history[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Z), &MainDialog::UndoStep},
        {QKeySequence(Qt::CTRL | Qt::Key_Y), &MainDialog::RedoStep},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &MainDialog::RedoStep},
    };
    for (const auto& [keys, slot] : history) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    }
}

void MainDialog::UndoStep() { (void)MoveInHistory(state_, *this, false); }

void MainDialog::RedoStep() { (void)MoveInHistory(state_, *this, true); }

void MainDialog::StartUp() {
    StoreViewportRect();
    state_.device = CreateViewportDevice(Viewport(id::kViewport));
    if (!state_.device) std::exit(0);  // without a device there is nothing to show: end quietly
    SetUpSceneDevice(state_.scene, state_.device.get());
    state_.model.SetDevice(state_.device.get());
    for (const IconButton& b : kIconButtons) SetIconResource(b.id, b.icon);
    for (int check : {id::kAxisYZ, id::kSelect, id::kDrawMeshes, id::kDrawSceleton}) SetCheck(check, true);
    for (int i = id::kFunctionFirst; i <= id::kFunctionLast; ++i) Enable(i, false);
    SetText(id::kLevelText, "5");
    SetText(id::kDistanceEdit, "50.00");
    Enable(id::kRegenEnvelope, false);
    Enable(id::kNormalCheck, false);
    ShowCameraValues();
    for (int i = id::kEnvelopeFirst; i <= id::kEnvelopeLast; ++i) Enable(i, false);
    SetCheck(id::kHex, true);
    SetCheck(id::kMaterialDiffuse, true);
    SetText(id::kToleranceEdit, "0.001");
    state_.model.SetMaterialTolerance(0.001f);
    SetText(id::kNearEdit, "0.1");
    SetText(id::kFarEdit, "1000");
    SetCheck(id::kTriangles, true);
    for (int i = id::kMaterialToolsFirst; i <= id::kMaterialToolsLast; ++i) Enable(i, false);
    for (int i = id::kMeshInfoFirst; i <= id::kMeshInfoLast; ++i) Enable(i, false);
}

void MainDialog::Route(std::initializer_list<int> ids, CommandHandler* handler) {
    for (int i : ids) routes_[i] = handler;
}

void MainDialog::RouteGroup(int group, CommandHandler* handler) {
    for (const ui::ControlSpec& c : MainDialogTemplate().controls)
        if (c.group == group) routes_[c.id] = handler;
}

void MainDialog::OnCommandReceived(int id, int notification) {
    if (id == id::kSpecular && notification == ui::kClicked && state_.device)
        state_.device->SetRenderState(D3DRS_SPECULARENABLE, IsChecked(id::kSpecular) ? 1 : 0);
    if (Group(id) == HandlerGroup::kDisplay) {
        if (notification == ui::kClicked) DrawFrame();
        return;
    }
    auto route = routes_.find(id);
    if (route != routes_.end()) route->second->OnCommand(id, notification);
}

void MainDialog::DrawFrame() {
    ms::DrawFrame(state_, *this);
}

void MainDialog::ShowCameraValues() {
    CameraControls c;
    ShowCamera(state_.scene, c);
    const std::pair<int, const std::string*> fields[] = {{1128, &c.angleY},  {1129, &c.angleXZ}, {1130, &c.distance},
                                                         {1125, &c.targetX}, {1126, &c.targetY}, {1127, &c.targetZ}};
    for (const auto& [control, text] : fields) SetText(control, *text);
}

void MainDialog::OnCancel() {
    if (!AskYesNo("Do you want to save changes?", "Modelsmith")) EndDialog(0);
}

void MainDialog::OnMoved() { StoreViewportRect(); }

void MainDialog::StoreViewportRect() { state_.viewportRect = ControlScreenRect(id::kViewport); }

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // The About item lives in the window's context menu, outside the viewport, where the right
    // button orbits the camera.
    if (Control(id::kViewport)->geometry().contains(event->pos())) return;
    QMenu menu(this);
    const History& history = state_.editor.history();
    // "Undo NAME" and "Redo NAME"; an ampersand of a control's name is shown as itself.
    auto caption = [](const char* verb, bool can, const std::string& name) {
        QString text = QString::fromLatin1(verb);
        if (can) text += QLatin1Char(' ') + QString::fromStdString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
        return text;
    };
    QAction* undo = menu.addAction(caption("Undo", history.CanUndo(), history.CanUndo() ? history.UndoStep().name : ""),
                                   this, &MainDialog::UndoStep);
    undo->setEnabled(history.CanUndo());
    QAction* redo = menu.addAction(caption("Redo", history.CanRedo(), history.CanRedo() ? history.RedoStep().name : ""),
                                   this, &MainDialog::RedoStep);
    redo->setEnabled(history.CanRedo());
    menu.addSeparator();
    menu.addAction(QStringLiteral("&About Modelsmith..."), this, &MainDialog::ShowAbout);
    menu.exec(event->globalPos());
    // The menu took the right button's release: without it the button would count as held, and
    // every later mouse move would orbit the camera.
    if (mouse_ && event->reason() == QContextMenuEvent::Mouse)
        mouse_->OnRightButtonUp(event->pos().x(), event->pos().y());
}

void MainDialog::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (!mouse_) return;
    if (event->button() == Qt::LeftButton) mouse_->OnLeftButtonDown(p.x(), p.y());
    if (event->button() == Qt::RightButton) mouse_->OnRightButtonDown(p.x(), p.y());
}

void MainDialog::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (!mouse_) return;
    if (event->button() == Qt::LeftButton) mouse_->OnLeftButtonUp(p.x(), p.y());
    if (event->button() == Qt::RightButton) mouse_->OnRightButtonUp(p.x(), p.y());
}

void MainDialog::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (mouse_) mouse_->OnMouseMove(p.x(), p.y());
}

void MainDialog::wheelEvent(QWheelEvent* event) {
    if (mouse_) mouse_->OnMouseWheel(event->angleDelta().y());
    event->accept();  // the wheel message is reported as handled
}

void MainDialog::ShowAbout() {
    ui::DialogWindow about(AboutDialogTemplate(), this);
    about.setWindowIcon(windowIcon());
    auto* icon = new QLabel(&about);
    icon->setPixmap(QPixmap(QStringLiteral(":/icons/128.png")));
    const ui::PixelRect at = about.units().Map({12, 6, 21, 20});
    icon->setGeometry(at.x, at.y, 32, 32);
    about.onCommand = [&about](int id, int) {
        if (id == kIdOk) about.done(QDialog::Accepted);
    };
    about.exec();
}

}  // namespace ms::app
