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
    "  velmar X.txt Y.txt - 2 | mobrel V.txt - -   the fit evaluated through a pipe\n"
    "  velmar -s -r R.txt X.txt Y.txt C.txt      standard errors, t, F; residuals in R.txt\n";
inline constexpr char HELP_SUMMARY[] = "after the report, the standard errors, t values and "
                                       "the fit statistics";
inline constexpr char HELP_RESIDUALS[] = "write each observation's fitted value and residual "
                                         "to FILE";
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

inline constexpr char MSG_RESIDUALS_PLACE[] = "residuals <%s> would go where the result goes\n";
inline constexpr char MSG_RESIDUALS_FAILED[] = "residuals <%s> cannot be written\n";

// The report after a fit, between the determinant line and the timing.
inline constexpr char MSG_SOLUTION[] = "Linear Regression solution X[%d] found\n";
inline constexpr char MSG_R2[] = "R^2 coefficent= %1.15E\n";

// --summary, after the report: the coefficient table, a row per term (the
// header row too), then the fit statistics.
inline constexpr char SUMMARY_ROW[] = "%-11s %-24s %-24s %s\n";
inline constexpr char TERM[] = "term";
inline constexpr char ESTIMATE[] = "estimate";
inline constexpr char STD_ERROR[] = "std.error";
inline constexpr char T_VALUE[] = "t value";
inline constexpr char TERM_INTERCEPT[] = "intercept";
inline constexpr char TERM_COLUMN[] = "x%d";
inline constexpr char TERM_POWER[] = "x%d^%d";
inline constexpr char SUMMARY_SD[] = "residual standard deviation= %s on %d degrees of freedom\n";
inline constexpr char SUMMARY_ADJUSTED_R2[] = "adjusted R^2= %s\n";
inline constexpr char SUMMARY_F[] = "F= %s on %d and %d degrees of freedom\n";
inline constexpr char SUMMARY_REGRESSION_SS[] = "regression SS= %s\n";
inline constexpr char SUMMARY_RESIDUAL_SS[] = "residual SS= %s\n";
// In place of a number: a quotient by zero, a forced intercept's error.
inline constexpr char WORD_UNDEFINED[] = "undefined";
inline constexpr char WORD_INF[] = "inf";
inline constexpr char WORD_MINUS_INF[] = "-inf";
inline constexpr char WORD_FORCED[] = "forced";

} // namespace velmar

#endif
