#include "tarsik/tarsik.h"

int main(int argc, char** argv) {
    return tarsik::run(argc, argv);
}
