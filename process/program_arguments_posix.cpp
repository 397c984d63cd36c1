#include "process/program_arguments.h"

namespace dedarida {

std::vector<std::string> SystemArguments(int argc, char** argv) {
    return {argv, argv + argc};
}

} // namespace dedarida
