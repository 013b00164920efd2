// Checks of what a successful hand-over leaves: the record of the final setup and the user
// info file byte for byte.
#pragma once

#include <string>
#include <vector>

#include "e2e/harness.h"

// The final setup ran in the working folder without arguments, saw exactly these names there
// (sorted), and received the user info file of this run with the given download site.
void ExpectHandOver(const CBootstrapperRun& run, const CRunResult& result,
                    const std::vector<std::string>& listing, const std::string& downloadSite);
