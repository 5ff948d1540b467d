// The verbs of the genreg command.
#include "cli.h"

const VerbSpec* const kVerbs[] = {
    &kProfileVerb,
    &kServicesVerb,
    &kVersionVerb,
    &kRcVerb,
};
const size_t kVerbCount = sizeof kVerbs / sizeof kVerbs[0];
