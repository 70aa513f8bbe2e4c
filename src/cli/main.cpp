#include "cli/CliApp.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    // A log that reaches the file size limit must fail its write, not end the program with
    // the downloads in progress.
    std::signal(SIGXFSZ, SIG_IGN);
    return pexo::cli::runCli(argc, argv, stdout, stderr);
}
