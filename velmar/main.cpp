#include "velmar/regress.h"

int main(int argc, char** argv) {
    return velmar::run(argc, argv);
}
