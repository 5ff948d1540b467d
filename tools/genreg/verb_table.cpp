// The verbs of the genreg command.
#include "cli.h"

const VerbSpec* const kVerbs[] = {
    &kProfileVerb, &kServicesVerb, &kBinVarVerb, &kVersionVerb, &kRcVerb,
};
const size_t kVerbCount = sizeof kVerbs / sizeof kVerbs[0];
