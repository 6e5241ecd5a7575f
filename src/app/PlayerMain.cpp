#include <cstdio>

#include "app/Commands.h"

namespace quoril {

// Scaffolding until the player is built.
int runPlayer(int, char**, bool) {
    std::fputs("quoril: the player is not built yet\n", stderr);
    return 2;
}

}  // namespace quoril
