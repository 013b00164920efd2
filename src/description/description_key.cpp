// The description marker and the built-in description key. The key text comes from the key file
// chosen at configure time (SETUP_KEY_FILE), checked and embedded by the build.
#include "description/description_crypto.h"
#include "description/description_key_text.h"

const char kDescriptionMarker[] = "CORVANEL-DESC";
static_assert(sizeof(kDescriptionMarker) == kDescriptionMarkerLength + 1,
              "the marker is 13 characters");

const char kDescriptionKeyText[] = SETUP_DESCRIPTION_KEY_TEXT;
