// The console texts of velmar.
#ifndef VELMAR_MESSAGES_H
#define VELMAR_MESSAGES_H

namespace velmar {

// The usage screen: these lines, the shared line on the file format, then
// CREDIT.
inline constexpr char USAGE[] = "\nLinear Regression v.1.0   X, Y -> Coefficents\n"
                                "usage: VELMAR file_X file_Y file_C [degree] [Intcpt]\n"
                                "degree (default=1) sets the regression polynomial degree\n"
                                "Intcpt, after the degree, forces the regression intercept; "
                                "nothing may follow it\n";
inline constexpr char CREDIT[] = "Least squares at 30 digits (2 x degree + 30 above degree 1), "
                                 "degree 1 to 38; exit status 0 when file_C was written\n";

inline constexpr char HELP_DIGITS[] = "work at N digits, 10 to 227 - 2 x degree (227 at degree 1)";
inline constexpr char EXAMPLES[] =
    "examples:\n"
    "  velmar --digits 60 X.txt Y.txt C.txt 3    degree 3 at 2 x 3 + 60 digits\n"
    "  velmar --check X.txt Y.txt C.txt          and how many printed digits hold\n"
    "  velmar -e X.txt Y.txt C.txt               0.56 in X or Y read as 56/100\n"
    "  velmar X.txt Y.txt - 2 | mobrel V.txt - -   the fit evaluated through a pipe\n";
// Ends the --digits and --check refusals above degree 1.
inline constexpr char MSG_AT_DEGREE[] = " at degree %d";

inline constexpr char MSG_DEGREE_NOT_WHOLE[] = "degree <%s> is not a whole number\n";
inline constexpr char MSG_DEGREE_LOW[] = "degree <%s> is below 1\n";
inline constexpr char MSG_DEGREE_HIGH[] = "degree <%s> is above %d, the highest the working "
                                          "precision allows\n";
inline constexpr char MSG_INTERCEPT[] = "intercept <%s> is not a finite decimal number\n";
inline constexpr char MSG_TOO_MANY[] = "argument <%s> is one too many: velmar takes file_X file_Y "
                                       "file_C [degree] [Intcpt]\n";
inline constexpr char MSG_ROWS[] = "Error in matrix A: rows less than columns: A[%d,%d]\n";
inline constexpr char MSG_Y_DIMENSION[] = "Incorrect dimension in matrix: Y[%d,%d]\n";

// The report after a fit, between the determinant line and the timing.
inline constexpr char MSG_SOLUTION[] = "Linear Regression solution X[%d] found\n";
inline constexpr char MSG_R2[] = "R^2 coefficent= %1.15E\n";

} // namespace velmar

#endif
