#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "carried_files.h"
#include "pack_cli.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        return pack::runPack(args, std::cout, std::cerr, pack::carriedFiles());
    } catch (const std::exception& e) {
        std::cerr << "pack: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "pack: unexpected failure\n";
    }
    return 1;
}
