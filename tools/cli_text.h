// hankel-transf: how the tool talks to its user. Every failure goes through
// fail(): one line on standard error, exit status 2.
#ifndef HANKEL_TRANSF_CLI_TEXT_H
#define HANKEL_TRANSF_CLI_TEXT_H

#include <string>

namespace cli {

extern const char *const prog;   // "hankel-transf", the prefix of every message

// Prints "hankel-transf: MSG" on standard error and exits with status 2.
[[noreturn]] void fail(const std::string &msg);

// A token from the user, fit for a one-line message: in single quotes, with
// backslash, control bytes, NUL and every byte outside printable ASCII
// escaped (\n, \t, \r, \\, \xHH), and cut after about 40 characters, the cut
// marked by "..." and the token's length in bytes given in the parenthesis
// that follows, with `where` (if not empty):
//   'abc' (argument 2)    '77777...' (1000000 bytes, standard input, line 1)
std::string quote(const std::string &token, const std::string &where = "");

// "2e-05 s", "4.2 s", "42 s", "7 min", "5.3 h", "12 days", "72.3 years"
std::string human_seconds(double s);

// "812 bytes", "162 MB", "1.6 TB" (powers of 1000)
std::string human_bytes(double b);

// Flushes standard output; a failed write is reported through fail().
void flush_stdout();

} // namespace cli

#endif
