// The console texts of mobrel.
#ifndef MOBREL_MESSAGES_H
#define MOBREL_MESSAGES_H

namespace mobrel {

inline constexpr char USAGE[] = "Matrix Multiplication ==>  A * B = C\n"
                                "usage: MOBREL file_A file_B file_C\n"
                                "Files contain matrices in ASCII Tab delimited\n"
                                "C = A * B computed at 30 significant digits; "
                                "exit status 0 when C was written, 1 otherwise\n";
inline constexpr char HELP_DIGITS[] = "work at N significant digits, 10 to 234 (default 30)";
inline constexpr char EXAMPLES[] =
    "examples:\n"
    "  mobrel --digits 60 A.txt B.txt C.txt      C at 60 digits\n"
    "  mobrel --check A.txt B.txt C.txt          and how many printed digits hold\n"
    "  mobrel -e A.txt B.txt C.txt               0.56 in A or B read as 56/100\n"
    "  mobrel A.txt B.txt - | mobrel - B.txt C.txt   (A * B) * B through a pipe\n";
inline constexpr char MSG_DIMENSION[] = "Error: incorrect dimension A[%d,%d] * B[%d,%d]\n";
inline constexpr char MSG_DONE[] = "%s * %s ==> %s\n";

} // namespace mobrel

#endif
