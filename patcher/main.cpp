// Entry of the patcher console program; it takes no arguments.
#include "patcher/driver.h"

int main() {
    return patcher::runPatcher();
}
