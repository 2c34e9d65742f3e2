// torvex-cli: the system's side of the program comes from console.h; everything else is in the library.

#include "cli/cli.h"
#include "cli/console.h"

#include <iostream>
#include <string>

int main(int argc, char *argv[])
{
    namespace console = torvex::cli::console;
    console::setUp();
    std::vector<std::string_view> args(argv + 1, argv + argc);
    torvex::cli::CliEnv env;
    env.in = &std::cin;
    env.out = &std::cout;
    env.err = &std::cerr;
    env.outIsTerminal = console::isTerminal(1);
    env.errIsTerminal = console::isTerminal(2);
    env.decimalSeparator = console::windowDecimalSeparator();
    env.watchStopRequest = console::watchStopRequests;
    return torvex::cli::runCli(args, env);
}
