#include "app/modelsmith_app.h"

#include <clocale>

#include <QApplication>

#include "app/handler_groups.h"
#include "app/main_dialog.h"

namespace ms::app {

int RunModelsmith(int argc, char** argv, Model& model, Scene& scene) {
    QApplication application(argc, argv);
    // Qt sets the process locale from the environment; numbers are read and shown in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Modelsmith"));
    EditorState state(model, scene);
    MainDialog dialog(state);
    dialog.StartUp();
    HandlerGroups groups(dialog);
    dialog.exec();  // the result is ignored
    return 0;
}

}  // namespace ms::app
