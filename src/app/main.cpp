#include "app/modelsmith_app.h"

int main(int argc, char** argv) {
    // The Model and the Scene are process-wide: they live until the program ends.
    static ms::Model model;
    static ms::Scene scene;
    return ms::app::RunModelsmith(argc, argv, model, scene);
}
