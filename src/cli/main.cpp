// torvex-cli: the system's side of the program comes from console.h; everything else is in the library.

#include "cli/cli.h"
#include "cli/console.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    namespace console = torvex::cli::console;
    console::setUp();
    const std::vector<std::string> words = console::arguments(argc, argv);
    const std::vector<std::string_view> args(words.begin(), words.end());
    torvex::cli::CliEnv env;
    env.in = &std::cin;
    env.out = &std::cout;
    env.err = &std::cerr;
    env.outIsTerminal = console::isTerminal(1);
    env.outClosed = console::standardOutputClosed();
    env.errIsTerminal = console::isTerminal(2);
    env.decimalSeparator = console::windowDecimalSeparator(&env.decimalNote);
    env.watchStopRequest = console::watchStopRequests;
    // Log lines that the log file's own folder cannot take at the end go to the home folder.
    env.rescueFolders = console::rescueFolders();
    return torvex::cli::runCli(args, env);
}
