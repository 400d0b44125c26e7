#include "ui/Application.h"

int main(int argc, char** argv) {
    return zeblo::RunApplication(argc, argv);
}
