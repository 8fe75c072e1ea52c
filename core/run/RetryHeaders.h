// The header lines a re-download of a failed-tile list sends with a record's
// address: those of the tile source the address belongs to, its key filled
// in from the settings file, as the download of the task sent them. Main
// thread only.
#pragma once

#include <string>
#include <vector>

#include "core/run/ConfigFile.h"

namespace run {

// The Nearmap API's (its key) for an address under the settings' BaseUrl; a
// source of the user's own for an address that names it (a masked secret,
// task::MaskedSecret) or that begins as its template does (the longest such
// beginning wins); none for any other address.
std::vector<std::string> RetryHeadersFor(const ConfigFile& config, const std::string& url);

}  // namespace run
