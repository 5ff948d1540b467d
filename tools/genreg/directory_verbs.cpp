// genreg instances | copies | instance: the installed copies, instances and
// administration servers that the machine's registry describes.
#include <genreg/directory.h>
#include <genreg/rc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "args.h"
#include "cli.h"
#include "diagnosis.h"
#include "output.h"
#include "store.h"
#include "version_text.h"

namespace {

const OptionRule kInstancesOptions[] = {{"type", true}, {"64", false}, {nullptr, false}};
const OptionRule kCopiesOptions[] = {{"64", false}, {nullptr, false}};
const OptionRule kInstanceOptions[] = {
    {"type", true}, {"copy", true}, {"version", true}, {"64", false}, {nullptr, false},
};

const char kInstancesHelp[] =
    "usage: genreg instances [--type QVR|PLV] [--64]\n"
    "\n"
    "Lists the instances (QVR) and administration servers (PLV) registered for the\n"
    "installed copies, both kinds unless --type names one. --64 reads the 64-bit view\n"
    "of the registry. START is auto or disabled when the instance's service starts\n"
    "that way, else -. On Linux the registry is the export file that --registry or\n"
    "GENREG_REGISTRY_FILE names.\n";

const char kCopiesHelp[] =
    "usage: genreg copies [--64]\n"
    "\n"
    "Lists the product services of the installed copies: one QVR entry per copy and\n"
    "one PLV entry for the first copy that holds administration servers. An entry\n"
    "that cannot be read is reported on standard error and the listing goes on\n"
    "(status 3); a copy whose name cannot be read ends it.\n";

const char kInstanceHelp[] =
    "usage: genreg instance NAME [--type QVR|PLV] [--copy C] [--version V] [--64]\n"
    "\n"
    "Describes one instance (QVR, the default) or administration server (PLV). The\n"
    "name is compared in upper case; --copy '' finds only the top-level copy's\n"
    "entries; --version (9.7.4.0, 9070400 or a hex code) narrows the search.\n";

const char* startOf(const OSSInstanceInfo_t& info) {
    if (info.flags & OSS_INSTANCE_AUTOSTART) return "auto";
    if (info.flags & OSS_INSTANCE_DISABLED) return "disabled";
    return nullptr;
}

std::string locationOf(const OSSInstanceInfo_t& info) {
    if (info.flags & OSS_INSTANCE_REMOTE) return std::string("remote ") + info.remoteName;
    if (info.flags & OSS_INSTANCE_CLUSTERED) return std::string("cluster ") + info.remoteName;
    return "local";
}

void writeInstanceJson(JsonWriter* json, const OSSInstanceInfo_t& info) {
    json->beginObject();
    json->key("name");
    json->string(info.instanceName);
    json->key("type");
    json->string(info.type);
    json->key("copy");
    json->stringOrNull(info.copyName[0] ? info.copyName : nullptr);
    json->key("version");
    json->string(versionText(info.versionCode));
    json->key("start");
    json->stringOrNull(startOf(info));
    json->key("remote");
    json->stringOrNull(info.flags & OSS_INSTANCE_REMOTE ? info.remoteName : nullptr);
    json->key("cluster");
    json->stringOrNull(info.flags & OSS_INSTANCE_CLUSTERED ? info.remoteName : nullptr);
    json->key("installPath");
    json->stringOrNull(info.installPath[0] ? info.installPath : nullptr);
    json->key("profilePath");
    json->stringOrNull(info.profilePath[0] ? info.profilePath : nullptr);
    json->key("flags");
    json->unsignedNumber(info.flags);
    json->endObject();
}

// On POSIX the machine's registry is the export file that
// GENREG_REGISTRY_FILE names (--registry sets it); a mistyped or missing
// name would read as a machine without the product. Windows reads its
// real registry.
int checkRegistryExport(const std::string& what) {
#ifdef _WIN32
    (void)what;
    return kExitOk;
#else
    const char* path = std::getenv("GENREG_REGISTRY_FILE");
    if (!path || !*path)
        return reportFailure("cannot " + what +
                                 ": no registry export is configured (use --registry FILE or "
                                 "set GENREG_REGISTRY_FILE)",
                             kExitNotFound);
    std::string nonRegular = nonRegularKindOf(path);
    if (!nonRegular.empty())
        return reportFailure("cannot " + what + ": the registry export file " + path + " is " +
                                 nonRegular + ", not a regular file",
                             kExitFailed);
    if (!fileExists(path))
        return reportFailure(
            "cannot " + what + ": the registry export file " + path + " does not exist",
            kExitNotFound);
    return kExitOk;
#endif
}

bool knownType(const char* type) {
    return std::string(type) == "QVR" || std::string(type) == "PLV";
}

// Appends the entries of one kind to entries. A machine where no copy has
// the kind's profiles gets no list at all from the library: that is an
// empty list here. An entry that cannot be read is reported on standard
// error, naming it, and counted in *unreadable; the listing goes on with
// the next entry. The library stays on some failed entries (a copy whose
// level cannot be read fails at every call): meeting the same entry again
// ends the kind's listing there.
unsigned collectInstances(const char* type, bool view64, std::vector<OSSInstanceInfo_t>* entries,
                          unsigned* unreadable) {
    void* list = nullptr;
    unsigned rc = ossOpenInstanceList(type, &list, view64);
    if (rc == GENREG_RC_REGISTRY_KEY_NOT_FOUND) return 0;
    if (rc != 0) return rc;
    std::string lastFailed;
    for (;;) {
        OSSInstanceInfo_t info{};
        rc = ossGetNextInstance(list, &info, view64);
        if (rc == 0) {
            entries->push_back(info);
            lastFailed.clear();
            continue;
        }
        if (rc == GENREG_RC_NOT_FOUND) break;
        std::string name(info.instanceName, strnlen(info.instanceName, sizeof info.instanceName));
        if (name.empty() || name == lastFailed) {
            rc = GENREG_RC_NOT_FOUND;
            break;
        }
        reportLibraryFailureAs(std::string("read the ") + type + " entry " + name, rc, kExitFailed);
        ++*unreadable;
        lastFailed = name;
    }
    unsigned closeRc = ossCloseInstanceList(list);
    if (rc == GENREG_RC_NOT_FOUND) rc = closeRc;
    return rc;
}

// A listing with unreadable entries still prints what was read, then fails.
int listingStatus(Invocation* inv, unsigned unreadable) {
    if (unreadable == 0) return kExitOk;
    std::fputs(inv->out.c_str(), stdout);
    inv->out.clear();
    return kExitFailed;
}

int runInstances(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 0, 0, &error) || !checkOptions(*inv, {"type", "64"}, &error))
        return reportUsage("instances", error);
    const char* only = inv->value("type");
    if (only && !knownType(only)) return reportUsage("instances", "--type is QVR or PLV");
    int status = checkRegistryExport("list the instances");
    if (status != kExitOk) return status;
    bool view64 = inv->has("64");
    std::vector<OSSInstanceInfo_t> entries;
    unsigned unreadable = 0;
    for (const char* type : {"QVR", "PLV"}) {
        if (only && std::string(only) != type) continue;
        unsigned rc = collectInstances(type, view64, &entries, &unreadable);
        if (rc != 0)
            return reportLibraryFailureAs(std::string("list the ") + type + " instances", rc,
                                          kExitFailed);
    }
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("instances");
        json.beginArray();
        for (const OSSInstanceInfo_t& info : entries)
            writeInstanceJson(&json, info);
        json.endArray();
        json.endObject();
        inv->out = json.finish();
        return listingStatus(inv, unreadable);
    }
    Table table{
        {"TYPE", "NAME", "COPY", "VERSION", "START", "LOCATION", "INSTALL PATH", "PROFILE PATH"},
        {}};
    for (const OSSInstanceInfo_t& info : entries)
        table.addRow({info.type, info.instanceName, cellText(info.copyName),
                      versionText(info.versionCode), cellText(startOf(info)), locationOf(info),
                      cellText(info.installPath), cellText(info.profilePath)});
    inv->out = table.render();
    return listingStatus(inv, unreadable);
}

// Appends the entries of the service list to entries. An entry that
// cannot be read is reported on standard error, naming its kind and copy,
// and counted in *unreadable; the listing goes on, since the list moves
// past an entry before reading it. A failure that leaves no copy name is
// the last one the list can report: either the copies key cannot be
// enumerated at that index (the list stays there and fails the same way
// at every call: an over-long copy name, for one) or the top-level copy's
// key cannot be opened (the list is then at its end). It is reported as
// the copy after the last one named, and ends the listing.
unsigned collectCopies(bool view64, std::vector<OSSServiceInfo_t>* entries, unsigned* unreadable) {
    void* list = nullptr;
    unsigned rc = ossOpenServiceList(&list, view64);
    if (rc != 0) return rc;
    std::string previous;
    std::string lastFailed;
    for (;;) {
        OSSServiceInfo_t info{};
        rc = ossGetNextService(list, &info, view64);
        std::string copy(info.copyName, strnlen(info.copyName, sizeof info.copyName));
        if (rc == 0) {
            entries->push_back(info);
            previous = copy;
            lastFailed.clear();
            continue;
        }
        if (rc == GENREG_RC_NOT_FOUND) break;
        std::string entry = std::string(info.type) + " entry of copy " + copy;
        if (copy.empty()) {
            reportLibraryFailureAs(previous.empty() ? std::string("read the first installed copy")
                                                    : "read the installed copy after " + previous,
                                   rc, kExitFailed);
            ++*unreadable;
            rc = GENREG_RC_NOT_FOUND;
            break;
        }
        // The list moves past every named entry it fails on; should it
        // ever stay, the same entry again ends the listing.
        if (entry == lastFailed) {
            rc = GENREG_RC_NOT_FOUND;
            break;
        }
        reportLibraryFailureAs("read the " + entry, rc, kExitFailed);
        ++*unreadable;
        previous = copy;
        lastFailed = entry;
    }
    unsigned closeRc = ossCloseServiceList(list);
    if (rc == GENREG_RC_NOT_FOUND) rc = closeRc;
    return rc;
}

int runCopies(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 0, 0, &error) || !checkOptions(*inv, {"64"}, &error))
        return reportUsage("copies", error);
    int status = checkRegistryExport("list the installed copies");
    if (status != kExitOk) return status;
    std::vector<OSSServiceInfo_t> entries;
    unsigned unreadable = 0;
    unsigned rc = collectCopies(inv->has("64"), &entries, &unreadable);
    if (rc != 0) return reportLibraryFailureAs("list the installed copies", rc, kExitFailed);
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("copies");
        json.beginArray();
        for (const OSSServiceInfo_t& info : entries) {
            json.beginObject();
            json.key("type");
            json.string(info.type);
            json.key("copy");
            json.stringOrNull(info.copyName[0] ? info.copyName : nullptr);
            json.key("version");
            json.string(versionText(info.versionCode));
            json.key("installPath");
            json.stringOrNull(info.installPath[0] ? info.installPath : nullptr);
            json.endObject();
        }
        json.endArray();
        json.endObject();
        inv->out = json.finish();
        return listingStatus(inv, unreadable);
    }
    Table table{{"TYPE", "COPY", "VERSION", "INSTALL PATH"}, {}};
    for (const OSSServiceInfo_t& info : entries)
        table.addRow({info.type, cellText(info.copyName), versionText(info.versionCode),
                      cellText(info.installPath)});
    inv->out = table.render();
    return listingStatus(inv, unreadable);
}

int runInstance(Invocation* inv) {
    std::string error;
    if (!checkWordCount(*inv, 1, 1, &error) ||
        !checkOptions(*inv, {"type", "copy", "version", "64"}, &error))
        return reportUsage("instance", error);
    const std::string& name = inv->words[0];
    const char* type = inv->has("type") ? inv->value("type") : "QVR";
    if (!knownType(type)) return reportUsage("instance", "--type is QVR or PLV");
    uint64_t versionCode = 0;
    if (const char* version = inv->value("version")) {
        if (parseVersionArgument(version, &versionCode) != 0)
            return reportUsage("instance", "--version is a version such as 9.7.4.0");
    }
    int status = checkRegistryExport("find " + std::string(type) + " instance " + name);
    if (status != kExitOk) return status;
    OSSInstanceInfo_t info{};
    unsigned rc = ossGetInstanceInfo(type, versionCode, name.c_str(), inv->value("copy"), &info,
                                     inv->has("64"));
    // The lookup says "failed" both for no match and for a registry that
    // could not be read; the first is by far the common case. A registry
    // export that could not be loaded is told in the log: a failure, not
    // an absence.
    if (rc == GENREG_RC_INSTANCE_INFO_FAILED)
        return reportLibraryFailureAs("find " + std::string(type) + " instance " + name, rc,
                                      registryExportRefused() ? kExitFailed : kExitNotFound);
    if (rc != 0)
        return reportLibraryFailureAs("find " + std::string(type) + " instance " + name, rc,
                                      kExitFailed);
    if (inv->json) {
        JsonWriter json;
        writeInstanceJson(&json, info);
        inv->out = json.finish();
        return kExitOk;
    }
    FieldList fields;
    fields.add("name", info.instanceName);
    fields.add("type", info.type);
    fields.add("copy", cellText(info.copyName));
    fields.add("version", versionText(info.versionCode));
    fields.add("start", cellText(startOf(info)));
    fields.add("location", locationOf(info));
    fields.add("install path", cellText(info.installPath));
    fields.add("profile path", cellText(info.profilePath));
    inv->out = fields.render();
    return kExitOk;
}

}  // namespace

const VerbEntry kInstancesVerb = {"instances", runInstances, kInstancesOptions, kInstancesHelp};
const VerbEntry kCopiesVerb = {"copies", runCopies, kCopiesOptions, kCopiesHelp};
const VerbEntry kInstanceVerb = {"instance", runInstance, kInstanceOptions, kInstanceHelp};
