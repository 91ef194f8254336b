// hankel-transf: one run, from checked distances to printed results.
#ifndef HANKEL_TRANSF_CLI_RUN_H
#define HANKEL_TRANSF_CLI_RUN_H

#include "cli_input.h"
#include "cli_options.h"

namespace cli {

// Sizes the grid (a refused set is reported through fail() before anything
// is printed), warns before a long run, then prints each result as soon as
// it is computed. Returns the exit status.
int run(const settings &s, const distances &d);

} // namespace cli

#endif
