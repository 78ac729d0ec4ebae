#include "dialogs/kestrane_resources.h"

#include <QtGlobal>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void registerKestraneQrc() {
    Q_INIT_RESOURCE(kestrane);
}

void initKestraneResources() {
    static const bool is_registered = [] {
        registerKestraneQrc();
        return true;
    }();
    (void)is_registered;
}
