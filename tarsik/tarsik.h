// The tridiagonal solver program.
#ifndef TARSIK_TARSIK_H
#define TARSIK_TARSIK_H

namespace tarsik {

// The whole program: tarsik file_A file_B file_X. Returns the exit status.
int run(int argc, char** argv);

} // namespace tarsik

#endif
