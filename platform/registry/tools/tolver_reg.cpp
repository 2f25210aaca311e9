// tolver-reg export KEY [FILE]   writes KEY and everything below it ("-" or no FILE: standard output)
// tolver-reg import FILE         carries out a registry text ("-": standard input)
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/registry/regtext.h"

namespace {

int Usage() {
    std::cerr << "usage: tolver-reg export KEY [FILE]\n"
                 "       tolver-reg import FILE\n"
                 "KEY begins with its root, e.g. HKEY_LOCAL_MACHINE\\Software\\Norvale.\n"
                 "The store is the file that TOLVER_REGISTRY names, else "
              << tolver::RegistryPath() << ".\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    try {
        if (command == "export" && argc <= 4) {
            const std::string text = tolver::ExportRegistryText(argv[2]);
            if (argc == 4 && std::string(argv[3]) != "-") {
                std::ofstream out(argv[3], std::ios::binary);
                out << text;
                if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[3]);
            } else {
                std::cout << text;
            }
            return 0;
        }
        if (command == "import" && argc == 3) {
            std::string text;
            if (std::string(argv[2]) == "-") {
                text.assign(std::istreambuf_iterator<char>(std::cin), {});
            } else {
                std::ifstream in(argv[2], std::ios::binary);
                if (!in) throw std::runtime_error(std::string("cannot read ") + argv[2]);
                text.assign(std::istreambuf_iterator<char>(in), {});
            }
            tolver::ImportRegistryText(text);
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "tolver-reg: " << e.what() << "\n";
        return 1;
    }
    return Usage();
}
