#include "app/modelsmith_app.h"
#include "model/model.h"

int main(int argc, char** argv) {
    static ms::Model model;  // process-wide, like the Scene: lives until the program ends
    return ms::app::RunModelsmith(argc, argv, model);
}
