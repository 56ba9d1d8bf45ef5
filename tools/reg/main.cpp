#include <iostream>

#include "tools/reg/reg_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    lumarel::platform::HiveRegistry hive(lumarel::platform::DefaultHivePath());
    return lumarel::tools::RunRegTool(hive, args, std::cout, std::cerr);
}
