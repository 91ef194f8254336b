// hankel-transf: the diagonal transform from the command line. See
// docs/hankel-transf.1 or --help for what it prints.
//
//   command line (cli_options) -> distances (cli_input) -> grid, warnings,
//   sums and one line per result as it is done (cli_run)
//
// Every failure is one line on standard error and exit status 2
// (cli_text); standard output holds only results.
#include "cli_input.h"
#include "cli_options.h"
#include "cli_run.h"
#include "cli_text.h"

#include <cstdio>

int main(int argc, char **argv)
{
    cli::settings s;
    switch (cli::parse_command_line(argc, argv, &s)) {
    case cli::action::help:
        cli::print_usage(stdout);
        cli::flush_stdout();
        return 0;
    case cli::action::version:
        cli::print_version(stdout);
        cli::flush_stdout();
        return 0;
    case cli::action::run:
        break;
    }
    const cli::distances d = cli::distances::read(s.sources);
    return cli::run(s, d);
}
