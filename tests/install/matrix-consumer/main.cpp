// Uses the installed matrix library alone: writes a table file and reads
// it back.
// Usage: matrix_consumer FILE   (FILE is written, then read)
#include "matrix/matrix.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    double** m = dmatrix(1, 2, 1, 2);
    m[1][1] = 1.5;
    m[1][2] = 2;
    m[2][1] = -300;
    m[2][2] = 0.25;
    const int written = output_matrix(argv[1], m, 1, 2, 1, 2);
    free_dmatrix(m, 1, 2, 1, 2);
    if (written == 0) return 1;

    std::vector<double> values(STACK_MAX);
    const int first = 1;
    int rows = 0, cols = 0;
    table_error err;
    if (load_table(argv[1], values.data(), STACK_MAX, &first, &rows, &first, &cols, &err) == 0) {
        std::printf("%s\n", describe(err).c_str());
        return 1;
    }
    std::printf("%d x %d:", rows, cols);
    for (int k = 0; k < rows * cols; ++k) std::printf(" %g", values[static_cast<std::size_t>(k)]);
    std::printf("\n");
    return 0;
}
