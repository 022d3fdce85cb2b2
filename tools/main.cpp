// tbtool: the publishers' tool for toolbar templates and icon stores. All the work is in tbtoollib.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = tb::tool::RunTool(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
