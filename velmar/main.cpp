#include "velmar/regress.h"

int main(int argc, char** argv) {
    pipeline::end_on_exhaustion();
    return velmar::run(argc, argv);
}
