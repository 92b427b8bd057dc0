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
inline constexpr char MSG_DIMENSION[] = "Error: incorrect dimension A[%d,%d] * B[%d,%d]\n";
inline constexpr char MSG_DONE[] = "%s * %s ==> %s\n";

} // namespace mobrel

#endif
