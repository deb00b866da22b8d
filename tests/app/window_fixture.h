#pragma once
// The main window with every handler group, on the offscreen platform, its questions answered by
// `prompts`: the fixture of the window tests of each group.
#include <memory>

#include <QTest>
#include <gtest/gtest.h>

#include "app/handler_groups.h"
#include "app/main_dialog.h"
#include "platform/ui/prompts.h"

namespace ms::test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::SetPromptsForTesting(&prompts);
        dialog.StartUp();
        groups = std::make_unique<app::HandlerGroups>(dialog);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void TearDown() override { ui::SetPromptsForTesting(nullptr); }

    // A left click on control `id`.
    void Click(int id) { QTest::mouseClick(dialog.Control(id), Qt::LeftButton); }

    Model model;
    Scene scene;
    EditorState state{model, scene};
    app::MainDialog dialog{state};
    std::unique_ptr<app::HandlerGroups> groups;
    ui::ScriptedPrompts prompts;
};

}  // namespace ms::test
