#include "mobrel/product.h"

int main(int argc, char** argv) {
    pipeline::end_on_exhaustion();
    return mobrel::run(argc, argv);
}
