// torvex-cli: the system's side of the program comes from console.h; everything else is in the library.

#include "cli/cli.h"
#include "cli/console.h"

#include <cstdlib>
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
    // Log lines that the log file's own folder cannot take at the end go to the home folder.
    if (const char *home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        env.rescueFolders.emplace_back(home);
    return torvex::cli::runCli(args, env);
}
