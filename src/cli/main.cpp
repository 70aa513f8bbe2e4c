#include "cli/CliApp.h"

#include <cstdio>

int main(int argc, char** argv) {
    return pexo::cli::runCli(argc, argv, stdout, stderr);
}
