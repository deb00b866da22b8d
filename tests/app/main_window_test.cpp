#include <set>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QContextMenuEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/handler_groups.h"
#include "app/main_dialog.h"
#include "app/main_dialog_template.h"
#include "platform/ui/viewport_widget.h"

namespace ms::app {
namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetPromptsForTesting(&prompts);
        dialog.StartUp();
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void TearDown() override { ui::SetPromptsForTesting(nullptr); }

    Model model;
    Scene scene;
    EditorState state{model, scene};
    MainDialog dialog{state};
    ui::ScriptedPrompts prompts;
};

TEST_F(MainWindow, EveryControlStartsAsTheTableSays) {
    const std::set<int> checked = {1069, 1079, 1076, 1086, 1117, 1034, 1052};
    std::set<int> disabled;
    for (int id = 1013; id <= 1056; ++id) disabled.insert(id);
    for (int id = 1093; id <= 1113; ++id) disabled.insert(id);
    const std::map<int, std::string> texts = {{1009, "0.001"}, {1068, "50.00"}, {1160, "5"}, {1131, "0.1"},
                                              {1132, "1000"},  {1143, "0"},     {1146, "0/0"}, {1153, "NONE"}};
    const std::set<int> iconButtons = {1082, 1083, 1084, 1085, 1086, 1087, 1088, 1089,
                                       1090, 1091, 1093, 1094, 1095, 1096, 1097, 1098};
    for (const ui::ControlSpec& c : MainDialogTemplate().controls) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(dialog.IsChecked(c.id), checked.count(c.id) == 1);
        EXPECT_EQ(dialog.IsEnabled(c.id), disabled.count(c.id) == 0);
        auto text = texts.find(c.id);
        if (text != texts.end()) {
            EXPECT_EQ(dialog.Text(c.id), text->second);
        }
        auto* button = qobject_cast<QAbstractButton*>(dialog.Control(c.id));
        if (button && iconButtons.count(c.id)) {
            EXPECT_FALSE(button->icon().isNull());
        }
    }
    EXPECT_FLOAT_EQ(model.MaterialTolerance(), 0.001f);
    EXPECT_EQ(dialog.windowTitle(), "Modelsmith");
}

TEST_F(MainWindow, SizeFollowsTheDialogUnitsOfTheDialogFont) {
    EXPECT_EQ(dialog.size(), QSize(1269, 907));
    EXPECT_EQ(dialog.Control(1178)->size(), QSize(891, 653));
    EXPECT_EQ(dialog.Control(1178)->pos(), QPoint(378, 0));
}

TEST_F(MainWindow, ClosingAsksAndOnlyNoEnds) {
    prompts.AnswerYesNo(true);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0], "Modelsmith: Do you want to save changes?");
    prompts.AnswerYesNo(false);
    dialog.close();  // the close box and Alt+F4
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(MainWindow, EnterInAnEditFieldDoesNothing) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.Control(1009));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(dialog.Text(1009), "0.001");
}

TEST_F(MainWindow, RadioGroupsFollowWin32Rules) {
    QTest::mouseClick(dialog.Control(1070), Qt::LeftButton);  // "Lines"
    EXPECT_TRUE(dialog.IsChecked(1070));
    EXPECT_FALSE(dialog.IsChecked(1069));
    EXPECT_TRUE(dialog.IsChecked(1086));  // other groups keep their choice
    EXPECT_TRUE(dialog.IsChecked(1117));
    EXPECT_TRUE(dialog.IsChecked(1034));
    QTest::mouseClick(dialog.Control(1088), Qt::LeftButton);  // push-like "Rotate"
    EXPECT_TRUE(dialog.IsChecked(1088));
    EXPECT_FALSE(dialog.IsChecked(1086));
    dialog.SetCheck(1088, false);  // a group may be left with nothing checked
    EXPECT_FALSE(dialog.IsChecked(1086) || dialog.IsChecked(1087) || dialog.IsChecked(1088));
}

TEST_F(MainWindow, MnemonicTriggersTheButton) {
    struct Spy : CommandHandler {
        void OnCommand(int id, int notification) override { seen.push_back({id, notification}); }
        std::vector<std::pair<int, int>> seen;
    } spy;
    dialog.Route({1120, 1121}, &spy);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(dialog.windowHandle(), Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !spy.seen.empty(); }, 1000));  // a mnemonic animates the click
    ASSERT_EQ(spy.seen.size(), 1u);
    EXPECT_EQ(spy.seen[0], std::make_pair(1120, 0));
    EXPECT_EQ(qobject_cast<QPushButton*>(dialog.Control(1120))->text(), "a&X=0");
}

TEST_F(MainWindow, MouseMessagesOverTheViewportReachTheWindowInClientCoordinates) {
    struct Spy : MouseHandler {
        void OnLeftButtonDown(int x, int y) override { seen.push_back("left down " + Point(x, y)); }
        void OnLeftButtonUp(int x, int y) override { seen.push_back("left up " + Point(x, y)); }
        void OnRightButtonDown(int x, int y) override { seen.push_back("right down " + Point(x, y)); }
        void OnRightButtonUp(int x, int y) override { seen.push_back("right up " + Point(x, y)); }
        void OnMouseMove(int, int) override {}
        void OnMouseWheel(int delta) override { seen.push_back("wheel " + std::to_string(delta)); }
        static std::string Point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
        std::vector<std::string> seen;
    } spy;
    dialog.SetMouseHandler(&spy);
    const QPoint inViewport(378 + 100, 50);  // the viewport starts at x = 378 of the client area
    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, inViewport);
    QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, {}, inViewport);
    EXPECT_EQ(spy.seen, (std::vector<std::string>{"left down 478,50", "left up 478,50", "right down 478,50",
                                                  "right up 478,50"}));
    dialog.SetMouseHandler(nullptr);
}

TEST_F(MainWindow, MovingUpdatesTheViewportRectangle) {
    dialog.move(40, 30);
    QApplication::processEvents();
    const ui::ScreenRect r = state.viewportRect;
    const QPoint corner = dialog.Control(1178)->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(r.left, corner.x());
    EXPECT_EQ(r.top, corner.y());
    EXPECT_EQ(r.right - r.left, 891);
    EXPECT_EQ(r.bottom - r.top, 653);
}

TEST_F(MainWindow, DisplayOptionsDrawAFrameAndARepaintDrawsNone) {
    auto* viewport = dialog.Viewport(1178);
    EXPECT_EQ(viewport->presentCount(), 0);  // the start-up draws nothing
    QTest::mouseClick(dialog.Control(1077), Qt::LeftButton);  // "Draw Shadow"
    ASSERT_EQ(viewport->presentCount(), 1);
    EXPECT_EQ(viewport->picture().size(), QSize(891, 653));
    EXPECT_EQ(viewport->picture().pixel(10, 10) & 0xffffffu, 0x7d7dc8u);  // the clear colour
    const int painted = viewport->paintCount();
    viewport->repaint();
    dialog.repaint();
    EXPECT_GT(viewport->paintCount(), painted);
    EXPECT_EQ(viewport->presentCount(), 1);
    QTest::mouseClick(dialog.Control(1073), Qt::LeftButton);  // "Alpha" has no handler of its own
    EXPECT_EQ(viewport->presentCount(), 1);
    QTest::mouseClick(dialog.Control(1070), Qt::LeftButton);  // "Lines"
    EXPECT_EQ(viewport->presentCount(), 2);
}

TEST_F(MainWindow, UndoAndRedoShortcutsRestoreAndShowTheState) {
    ASSERT_TRUE(state.editor.Run("Load Sceleton", [](Model&, Scene& s) {
        s.bones.push_back(BoneRecord{-1, -1, 0, -1, -1, -1, -1, -1, -1});
        s.boneStates.push_back(BoneState{});
        s.pickedBone = 0;
        return Status::Ok();
    }));
    state.bonePicked = true;
    state.selection = {5, 1};  // a mesh node that the restored Model does not have
    int shown = 0;
    state.refreshTree = state.showMeshNodeInfo = state.showMaterial = state.showPickedBone = [&] { ++shown; };

    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(scene.BoneCount(), 0);
    EXPECT_FALSE(state.bonePicked);
    EXPECT_EQ(state.selection.index, -1);
    EXPECT_EQ(shown, 4);

    QTest::keyClick(&dialog, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(scene.BoneCount(), 1);
    EXPECT_TRUE(state.bonePicked);
    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(scene.BoneCount(), 1);
    EXPECT_EQ(shown, 16);
    QTest::keyClick(&dialog, Qt::Key_Y, Qt::ControlModifier);  // nothing to redo: nothing shown
    EXPECT_EQ(shown, 16);
}

// Groups made and gone again leave no hook behind: an undo afterwards calls into none of them.
TEST_F(MainWindow, HandlerGroupsTakeTheirHooksWithThem) {
    auto groups = std::make_unique<HandlerGroups>(dialog);
    EXPECT_TRUE(state.showMaterial && state.showMeshNodeInfo && state.showPickedBone && state.refreshTree);
    groups.reset();
    EXPECT_FALSE(state.showMaterial || state.showMeshNodeInfo || state.showPickedBone || state.refreshTree);
    ASSERT_TRUE(state.editor.Run("Set", [](Model& m, Scene&) {
        m.SetMaterialTolerance(0.5f);
        return Status::Ok();
    }));
    QTest::keyClick(&dialog, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(model.MaterialTolerance(), 0.001f);
}

// The window's context menu offers "Undo NAME" and "Redo NAME" beside About, each enabled only
// when there is a step to take, and takes it.
TEST_F(MainWindow, TheContextMenuNamesTheStepsToUndoAndRedo) {
    QPoint free(-1, -1);
    const QRect viewport = dialog.Control(1178)->geometry();
    for (int y = 5; y < dialog.height() && free.x() < 0; y += 3)
        for (int x = 5; x < dialog.width() && free.x() < 0; x += 3)
            if (!dialog.childAt(QPoint(x, y)) && !viewport.contains(QPoint(x, y))) free = QPoint(x, y);
    ASSERT_GE(free.x(), 0);
    // Opens the menu, returns "text/enabled" of its first two items and triggers item `trigger`.
    auto menu = [&](int trigger) {
        std::vector<std::string> items;
        QTimer::singleShot(50, [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!popup) return;
            const QList<QAction*> actions = popup->actions();
            for (int i = 0; i < 2 && i < actions.size(); ++i)
                items.push_back(actions[i]->text().toStdString() + (actions[i]->isEnabled() ? "/on" : "/off"));
            QAction* chosen = trigger >= 0 && trigger < actions.size() ? actions[trigger] : nullptr;
            popup->close();
            if (chosen) chosen->trigger();
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, free, dialog.mapToGlobal(free));
        QApplication::sendEvent(&dialog, &event);
        return items;
    };
    EXPECT_EQ(menu(-1), (std::vector<std::string>{"Undo/off", "Redo/off"}));
    ASSERT_TRUE(state.editor.Run("Connect & Co", [](Model& m, Scene&) {
        m.SetMaterialTolerance(0.5f);
        return Status::Ok();
    }));
    EXPECT_EQ(menu(0), (std::vector<std::string>{"Undo Connect && Co/on", "Redo/off"}));
    EXPECT_FLOAT_EQ(model.MaterialTolerance(), 0.001f);
    EXPECT_EQ(menu(1), (std::vector<std::string>{"Undo/off", "Redo Connect && Co/on"}));
    EXPECT_FLOAT_EQ(model.MaterialTolerance(), 0.5f);
}

}  // namespace
}  // namespace ms::app
