// genreg version: a product level in its three forms.
#include <genreg/version.h>

#include <string>

#include "args.h"
#include "cli.h"
#include "output.h"
#include "version_text.h"

namespace {

const OptionRule kNoOptions[] = {{nullptr, false}};

const char kVersionHelp[] =
    "usage: genreg version TEXT|NUMBER|CODE\n"
    "\n"
    "Shows a product level in its three forms: the dotted text (9.7.4.0), the\n"
    "product version number (9070400, two digits per group) and the 64-bit version\n"
    "code in hex (0x0009000700040000). Digits without dots are a product version\n"
    "number; 0x starts a code. A level with a group above 99 has no product version\n"
    "number (shown as -).\n";

// The product version number has two decimal digits per group; a code
// with a larger group has none.
bool hasProductNumber(uint64_t code) {
    for (int shift = 0; shift < 64; shift += 16)
        if (((code >> shift) & 0xFFFF) > 99) return false;
    return true;
}

int runVersion(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 1, 1, &error) || !checkOptions(*inv, {}, &error))
        return reportUsage("version", error);
    uint64_t code = 0;
    unsigned rc = parseVersionArgument(inv->words[0], &code);
    if (rc != 0)
        return reportLibraryFailureAs("read the version '" + inv->words[0] + "'", rc, kExitUsage);
    bool hasNumber = hasProductNumber(code);
    int32_t number = ossVersionCodeServiceToQVR(code);
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("text");
        json.string(versionText(code));
        json.key("number");
        if (hasNumber) {
            json.number(number);
        } else {
            json.null();
        }
        json.key("code");
        json.string(versionCodeHex(code));
        json.endObject();
        inv->out = json.finish();
        return kExitOk;
    }
    FieldList fields;
    fields.add("text", versionText(code));
    fields.add("number", hasNumber ? std::to_string(number) : "-");
    fields.add("code", versionCodeHex(code));
    inv->out = fields.render();
    return kExitOk;
}

}  // namespace

const VerbEntry kVersionVerb = {"version", runVersion, kNoOptions, kVersionHelp};
