#include <clocale>
#include <iostream>

#include "batch/batch.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");  // numbers are read and written in the C locale
    std::vector<std::string> args(argv + 1, argv + argc);
    return ms::RunBatch(args, std::cout, std::cerr);
}
