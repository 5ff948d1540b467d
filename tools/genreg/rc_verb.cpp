// genreg rc: the name and meaning of a return code.
#include <genreg/rc.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "args.h"
#include "cli.h"
#include "codes.h"
#include "output.h"

namespace {

const OptionRule kNoOptions[] = {{nullptr, false}};

const char kRcHelp[] =
    "usage: genreg rc CODE\n"
    "\n"
    "Names a return code and says what it means: the library's own codes\n"
    "(GENREG_RC_...), those of its operating-system services (OSS_RC_...) and the\n"
    "Windows error numbers it passes through (OSS_WINERR_...), every code that genreg\n"
    "prints. CODE is hex (0x900001c4), decimal (2415919556) or a name\n"
    "(GENREG_RC_LOCKED, or LOCKED, in any case; a short name is tried as GENREG_RC_,\n"
    "OSS_RC_, then OSS_WINERR_).\n";

// A return code given as hex, decimal or name; false when it is none.
bool readCode(const std::string& text, unsigned* rc) {
    uint64_t value = 0;
    if (parseUint64(text.c_str(), &value)) {
        if (value > 0xFFFFFFFFu) return false;
        *rc = static_cast<unsigned>(value);
        return true;
    }
    std::string name;
    for (char c : text)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return codeNamedShort(name, rc);
}

int runRc(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 1, 1, &error) || !checkOptions(*inv, {}, &error))
        return reportUsage("rc", error);
    unsigned rc = 0;
    CodeInfo info{};
    if (!readCode(inv->words[0], &rc) || !lookUpCode(rc, &info))
        return reportFailure("'" + inv->words[0] + "' is not a return code of the library",
                             kExitNotFound);
    const char* name = info.name;
    const std::string value = rcValueText(rc);
    const char* meaning = info.meaning;
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("name");
        json.string(name);
        json.key("value");
        json.string(value);
        json.key("decimal");
        json.unsignedNumber(rc);
        json.key("meaning");
        json.string(meaning ? meaning : "");
        json.endObject();
        inv->out = json.finish();
        return kExitOk;
    }
    FieldList fields;
    fields.add("name", name);
    fields.add("value", value + " (" + std::to_string(rc) + ")");
    fields.add("meaning", meaning ? meaning : "");
    inv->out = fields.render();
    return kExitOk;
}

}  // namespace

const VerbEntry kRcVerb = {"rc", runRc, kNoOptions, kRcHelp};
