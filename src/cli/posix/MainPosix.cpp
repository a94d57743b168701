#include "cli/Commands.h"

#include <csignal>

int main(int argc, char** argv) {
    // A full disk or a file-size limit must end a write with an error, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // A closed pipe on standard output must end the run with the output error, not kill it mid-flash.
    std::signal(SIGPIPE, SIG_IGN);
    return brenwick::cli::RunProgram(argc, argv);
}
