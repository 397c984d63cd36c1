#include "app/window_app.h"

int main(int argc, char** argv) {
    return dedarida::RunWindow(argc, argv);
}
