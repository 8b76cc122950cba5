#pragma once

namespace quorvane {

struct Context;

// Runs on the list worker: fetches the download list from the three sources in turn until one
// answers with a list, saves it, and opens the choices, shows the pause notice, or starts over.
// Returns early once stop is requested.
void retrieveList(Context& c);

}  // namespace quorvane
