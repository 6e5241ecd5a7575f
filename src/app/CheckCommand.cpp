#include <cstdio>

#include "app/Commands.h"

namespace quoril {

// Scaffolding until this mode is built.
int runCheckCommand(int, char**) {
    std::fputs("quoril: this mode is not built yet\n", stderr);
    return 2;
}

}  // namespace quoril
