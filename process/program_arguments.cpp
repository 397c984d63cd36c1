#include "process/program_arguments.h"

namespace dedarida {

ProgramArguments::ProgramArguments(int argc, char** argv) : texts_(SystemArguments(argc, argv)) {
    for (std::string& text : texts_)
        values_.push_back(text.data());
    values_.push_back(nullptr);
}

} // namespace dedarida
