// genreg rc: the name and meaning of a return code.
#include <genreg/rc.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "args.h"
#include "cli.h"
#include "output.h"

namespace {

const OptionRule kNoOptions[] = {{nullptr, false}};

const char kRcHelp[] =
    "usage: genreg rc CODE\n"
    "\n"
    "Names a return code of the library and says what it means. CODE is hex\n"
    "(0x900001c4), decimal (2415919556) or a name (GENREG_RC_LOCKED, or LOCKED, in\n"
    "any case).\n";

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
    if (name.compare(0, 10, "GENREG_RC_") != 0) name = "GENREG_RC_" + name;
    return genregRcFromName(name.c_str(), rc);
}

int runRc(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 1, 1, &error) || !checkOptions(*inv, {}, &error))
        return reportUsage("rc", error);
    unsigned rc = 0;
    const char* name = nullptr;
    if (readCode(inv->words[0], &rc)) name = genregRcName(rc);
    if (!name)
        return reportFailure("'" + inv->words[0] + "' is not a return code of the library",
                             kExitNotFound);
    char value[16];
    std::snprintf(value, sizeof value, "0x%08x", rc);
    const char* meaning = genregRcMeaning(rc);
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
    fields.add("value", std::string(value) + " (" + std::to_string(rc) + ")");
    fields.add("meaning", meaning ? meaning : "");
    inv->out = fields.render();
    return kExitOk;
}

}  // namespace

const VerbEntry kRcVerb = {"rc", runRc, kNoOptions, kRcHelp};
