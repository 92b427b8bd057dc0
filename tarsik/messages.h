// The console texts of tarsik.
#ifndef TARSIK_MESSAGES_H
#define TARSIK_MESSAGES_H

namespace tarsik {

inline constexpr char USAGE[] = "\nTridiagonal Linear System ==>  A X = B\n"
                                "usage: TARSIK file_A file_B file_X\n"
                                "Files contain matrices in ASCII Tab delimited\n"
                                "A holds one row per equation: sub-diagonal, diagonal, "
                                "super-diagonal entry\n"
                                "B holds one right-hand side per column; X = A^-1 B is "
                                "computed at 30 significant digits\n"
                                "exit status 0 when X was written, 1 otherwise\n";
inline constexpr char HELP_DIGITS[] = "work at N significant digits, 10 to 227 (default 30)";
inline constexpr char EXAMPLES[] =
    "examples:\n"
    "  tarsik --digits 60 A.txt B.txt X.txt      X at 60 digits\n"
    "  tarsik --check A.txt B.txt X.txt          and how many printed digits hold\n"
    "  tarsik -e A.txt B.txt X.txt               0.56 in A or B read as 56/100\n"
    "  tarsik A.txt B.txt - | mobrel F.txt - -   A X through a pipe\n";
inline constexpr char MSG_DIMENSION_A[] = "Error: incorrect dimension A[%d,%d]\n";
inline constexpr char MSG_DIMENSION_AB[] = "Error: incorrect dimension A[%d,%d] * B[%d,%d]\n";
inline constexpr char MSG_SOLVED[] = "Linear system solution X[%d %d] found\n";

} // namespace tarsik

#endif
