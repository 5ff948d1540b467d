// The verbs of the genreg command, in the order of the help text.
#include "cli.h"

const VerbEntry* const kVerbs[] = {
    &kProfileVerb, &kServicesVerb, &kBinVarVerb,  &kGlobalVerb, &kInstancesVerb,
    &kCopiesVerb,  &kInstanceVerb, &kVersionVerb, &kRcVerb,     &kCheckVerb,
};
const size_t kVerbCount = sizeof kVerbs / sizeof kVerbs[0];
