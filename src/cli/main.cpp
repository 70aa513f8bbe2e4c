#include "cli/CliApp.h"
#include "cli/Platform.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args = pexo::cli::startProcess(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& arg : args)
        pointers.push_back(arg.c_str());
    return pexo::cli::runCli(static_cast<int>(pointers.size()), pointers.data(), stdout, stderr);
}
