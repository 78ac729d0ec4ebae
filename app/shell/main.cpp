// kestrane: watch and control a fleet of networked audio codecs from one window.
#include "app/shell/application_main.h"

int main(int argc, char** argv) {
    return applicationMain(argc, argv);
}
