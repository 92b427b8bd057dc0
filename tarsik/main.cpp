#include "tarsik/tarsik.h"

#include "pipeline/pipeline.h"

int main(int argc, char** argv) {
    pipeline::end_on_exhaustion();
    return tarsik::run(argc, argv);
}
