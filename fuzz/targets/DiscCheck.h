#pragma once

#include <string>

namespace quoril::fuzz {

// Opens the content at path as the player does, checks what the open promises about the track
// table, loads an accepted disc into its store on this thread and checks the table again (a
// short file rewrites it). Aborts through fuzzFailure when a promise is broken.
void openLoadAndCheck(const std::string& path);

}  // namespace quoril::fuzz
