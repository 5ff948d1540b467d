// genreg global: the machine-wide global registry file through GlobalReg.
#include <genreg/globalreg.h>
#include <genreg/rc.h>

#include <algorithm>
#include <cstring>

#include "args.h"
#include "cli.h"
#include "edit_lock.h"
#include "file_link.h"
#include "file_kind.h"
#include "global_fields.h"
#include "output.h"
#include "store.h"

namespace {

const char kVerb[] = "global";

// Every field option of the three record types (see global_fields.cpp).
const OptionRule kOptions[] = {
    {"file", true},        {"instances", false}, {"services", false}, {"variables", false},
    {"version", true},     {"path", true},       {"usage", true},     {"start-at-boot", true},
    {"maintenance", true}, {"text128", true},    {"text256", true},   {"comment", true},
    {"level", true},       {"text4", true},      {"text8", true},     {"text16", true},
    {"int64", true},       {"flag128", true},    {"int256", true},    {"int512", true},
    {"no-wait", false},    {"timeout", true},    {nullptr, false},
};

const char kHelp[] =
    "usage: genreg global [--file PATH] list [--instances|--services|--variables]\n"
    "       genreg global [--file PATH] get instance SERVICE NAME\n"
    "       genreg global [--file PATH] get service KIND VERSION\n"
    "       genreg global [--file PATH] get variable SERVICE NAME\n"
    "       genreg global [--file PATH] add|set instance SERVICE NAME [--version V] [--path P]\n"
    "                 [--usage U] [--start-at-boot 0|1] [--maintenance 0|1] [--text128 T]\n"
    "                 [--text256 T] [--comment T]\n"
    "       genreg global [--file PATH] add|set service KIND VERSION [--level N] [--text4 T]\n"
    "                 [--text8 T] [--text16 T] [--int64 N] [--flag128 N] [--int256 N] [--int512 "
    "N]\n"
    "       genreg global [--file PATH] add|set variable SERVICE NAME VALUE [--text8 T] [--comment "
    "T]\n"
    "       genreg global [--file PATH] remove instance SERVICE NAME\n"
    "       genreg global [--file PATH] remove service KIND VERSION\n"
    "       genreg global [--file PATH] remove variable SERVICE NAME\n"
    "       genreg global [--file PATH] path\n"
    "       genreg global [--file PATH] upgrade-levels\n"
    "\n"
    "The global registry file holds instance, service and variable records. It is\n"
    "the file QVR_GLOBAL_REG_PATHNAME names (--file sets it for this command), else\n"
    "global.reg in the current directory. An instance is identified by its service\n"
    "and name, a service record by its kind and version, a variable by its service\n"
    "and name. VERSION is 9.7.4.0, a product number such as 9070400, or a code in hex.\n"
    "  list            the records, in three tables (or one, with an option)\n"
    "  get             one record (a variable's value alone)\n"
    "  add             adds a record; fails when one with the same identity exists\n"
    "  set             changes the given fields of a record, keeping the others, or\n"
    "                  adds it\n"
    "  remove          removes a record\n"
    "  path            the file's path\n"
    "  upgrade-levels  brings the QVR and PLV service records of the running\n"
    "                  version up to the running level; prints how many changed\n"
    "add, set, remove and upgrade-levels wait for the update lock while another\n"
    "edit of the file runs, saying so after a second; --no-wait fails at once\n"
    "instead, --timeout SECONDS after that long (status 3, GENREG_RC_LOCKED).\n"
    "A file that is not made of instance, service and variable records (a text file,\n"
    "a binary variable file, a damaged file) is refused by every action but path\n"
    "(status 3) and left as it is. A file name that is a symbolic link edits the\n"
    "file it points to and stays a link.\n";

// A GlobalReg Add or Change packs the caller's record in place, and the
// packed form can be longer than the record: give it room behind.
struct RecordSpace {
    std::vector<GlobalRegRecord> blocks = std::vector<GlobalRegRecord>(32);
    GlobalRegRecord* record() { return blocks.data(); }
};

uint64_t knownFields(uint32_t type) {
    switch (type) {
        case GENREG_GLOBAL_INSTANCE:
            return GENREG_INST_KNOWN;
        case GENREG_GLOBAL_SERVICE:
            return GENREG_SVC_KNOWN;
        default:
            return GENREG_VAR_KNOWN;
    }
}

// The fields given as words after the type, in order.
std::vector<const GlobalField*> wordFields(uint32_t type, bool withValue) {
    std::vector<const GlobalField*> fields;
    for (const GlobalField* field : globalFieldsOf(type))
        if ((field->bit & globalKeyFields(type)) ||
            (withValue && type == GENREG_GLOBAL_VARIABLE && field->bit == GENREG_VAR_VALUE))
            fields.push_back(field);
    return fields;
}

std::string recordLabel(uint32_t type, const std::vector<std::string>& words) {
    std::string label = globalTypeName(type);
    for (size_t i = 2; i < words.size() && i < 4; ++i)
        label += " " + words[i];
    return label;
}

void writeRecordJson(JsonWriter* json, const GlobalRegRecord& record) {
    json->beginObject();
    for (const GlobalField* field : globalFieldsOf(record.RecordType)) {
        if (!(record.FieldMask & field->bit)) continue;
        json->key(field->jsonName);
        writeGlobalFieldJson(json, record, *field);
    }
    json->endObject();
}

// A table of the records of type: the identifying fields always, any other
// field when at least one record holds it.
std::string renderRecords(uint32_t type, const std::vector<GlobalRegRecord>& records) {
    std::vector<const GlobalField*> columns;
    for (const GlobalField* field : globalFieldsOf(type)) {
        bool shown = (field->bit & globalKeyFields(type)) != 0;
        for (const GlobalRegRecord& record : records)
            shown = shown || (record.FieldMask & field->bit);
        if (shown) columns.push_back(field);
    }
    Table table;
    for (const GlobalField* field : columns)
        table.headers.push_back(field->header);
    for (const GlobalRegRecord& record : records) {
        std::vector<std::string> cells;
        for (const GlobalField* field : columns)
            cells.push_back(globalFieldText(record, *field));
        table.addRow(cells);
    }
    return table.render();
}

int list(Invocation* inv, GlobalReg* registry, const std::string& path) {
    const uint32_t types[] = {GENREG_GLOBAL_INSTANCE, GENREG_GLOBAL_SERVICE,
                              GENREG_GLOBAL_VARIABLE};
    const char* const sections[] = {"instances", "services", "variables"};
    const char* const titles[] = {"Instances", "Services", "Variables"};
    int only = -1;
    for (int i = 0; i < 3; ++i) {
        if (!inv->has(sections[i])) continue;
        if (only >= 0)
            return reportUsage(kVerb, "give at most one of --instances, --services, --variables");
        only = i;
    }
    if (!fileExists(path)) return reportLibraryFailure("list " + path, GENREG_RC_FILE_NOT_FOUND);
    std::vector<GlobalRegRecord> records[3];
    RecordSpace key;
    unsigned rc = scanRecords(registry, 0, key.record(), [&](const GlobalRegRecord& record) {
        for (int i = 0; i < 3; ++i)
            if (record.RecordType == types[i]) records[i].push_back(record);
    });
    if (rc != 0) return reportLibraryFailure("list " + path, rc);
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("file");
        json.string(path);
        for (int i = 0; i < 3; ++i) {
            if (only >= 0 && only != i) continue;
            json.key(sections[i]);
            json.beginArray();
            for (const GlobalRegRecord& record : records[i])
                writeRecordJson(&json, record);
            json.endArray();
        }
        json.endObject();
        inv->out = json.finish();
        return kExitOk;
    }
    for (int i = 0; i < 3; ++i) {
        if (only >= 0 && only != i) continue;
        if (!inv->out.empty()) inv->out += "\n";
        inv->out += std::string(titles[i]) + "\n" + renderRecords(types[i], records[i]);
    }
    return kExitOk;
}

// Fills record with the type and the fields given as words; false after
// reporting a usage error.
bool recordFromWords(const Invocation& inv, uint32_t type, bool withValue, GlobalRegRecord* record,
                     int* status) {
    std::vector<const GlobalField*> fields = wordFields(type, withValue);
    std::string error;
    if (!checkWordCount(inv, 2 + fields.size(), 2 + fields.size(), &error)) {
        *status = reportUsage(kVerb, error);
        return false;
    }
    record->RecordType = type;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!setGlobalField(record, *fields[i], inv.words[2 + i], &error)) {
            *status = reportUsage(kVerb, error);
            return false;
        }
    }
    return true;
}

// Applies the field options of inv to record; false after reporting.
bool applyOptions(const Invocation& inv, uint32_t type, GlobalRegRecord* record, int* status) {
    std::vector<const GlobalField*> words = wordFields(type, true);
    std::string error;
    for (const Option& option : inv.options) {
        if (option.name == "file" || option.name == "no-wait" || option.name == "timeout" ||
            option.global)
            continue;
        const GlobalField* field = globalFieldNamed(type, option.name.c_str());
        if (!field || std::find(words.begin(), words.end(), field) != words.end()) {
            *status = reportUsage(kVerb, "option --" + option.name + " does not apply to " +
                                             globalTypeName(type) + " records");
            return false;
        }
        if (!setGlobalField(record, *field, option.value, &error)) {
            *status = reportUsage(kVerb, error);
            return false;
        }
    }
    return true;
}

int get(Invocation* inv, GlobalReg* registry, const std::string& path, uint32_t type) {
    std::string error;
    if (!checkOptions(*inv, {"file"}, &error)) return reportUsage(kVerb, error);
    RecordSpace key;
    int status = kExitOk;
    if (!recordFromWords(*inv, type, false, key.record(), &status)) return status;
    std::string what = "get " + recordLabel(type, inv->words) + " in " + path;
    if (!fileExists(path)) return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    RecordSpace found;
    unsigned rc = registry->Get(globalKeyFields(type), key.record(), found.record());
    if (rc != 0) return reportLibraryFailure(what, rc);
    const GlobalRegRecord& record = *found.record();
    if (inv->json) {
        JsonWriter json;
        writeRecordJson(&json, record);
        inv->out = json.finish();
    } else if (type == GENREG_GLOBAL_VARIABLE) {
        inv->out = globalFieldText(record, *globalFieldNamed(type, "value")) + "\n";
    } else {
        FieldList fields;
        for (const GlobalField* field : globalFieldsOf(type))
            if (record.FieldMask & field->bit)
                fields.add(field->name, globalFieldText(record, *field));
        inv->out = fields.render();
    }
    return kExitOk;
}

int write(Invocation* inv, GlobalReg* registry, const std::string& path, uint32_t type, bool add) {
    RecordSpace key;
    int status = kExitOk;
    if (!recordFromWords(*inv, type, true, key.record(), &status)) return status;
    RecordSpace record;
    std::string what =
        (add ? "add " : "set ") + recordLabel(type, inv->words) + (add ? " to " : " in ") + path;
    std::string error;
    uint32_t waitMs = 0;
    if (!editWaitOf(*inv, &waitMs, &error)) return reportUsage(kVerb, error);
    EditLock lock(registry);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    bool exists = false;
    if (!add && fileExists(path)) {
        rc = registry->Get(globalKeyFields(type), key.record(), record.record());
        if (rc != 0 && rc != GENREG_RC_NO_MATCH) return reportLibraryFailure(what, rc);
        exists = rc == 0;
        // Fields this version does not know are carried over by the store
        // from the stored record; the new record must not announce them.
        if (exists) record.record()->FieldMask &= knownFields(type);
    }
    if (!exists) *record.record() = *key.record();
    if (!recordFromWords(*inv, type, true, record.record(), &status)) return status;
    if (!applyOptions(*inv, type, record.record(), &status)) return status;
    key.record()->FieldMask &= globalKeyFields(type);
    rc = exists ? registry->Change(globalKeyFields(type), key.record(), record.record())
                : registry->Add(globalKeyFields(type), record.record());
    if (rc == GENREG_RC_UNCHANGED) rc = 0;
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    return kExitOk;
}

int remove(Invocation* inv, GlobalReg* registry, const std::string& path, uint32_t type) {
    std::string error;
    uint32_t waitMs = 0;
    if (!checkOptions(*inv, {"file", "no-wait", "timeout"}, &error) ||
        !editWaitOf(*inv, &waitMs, &error))
        return reportUsage(kVerb, error);
    RecordSpace key;
    int status = kExitOk;
    if (!recordFromWords(*inv, type, false, key.record(), &status)) return status;
    std::string what = "remove " + recordLabel(type, inv->words) + " from " + path;
    if (!fileExists(path)) return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    EditLock lock(registry);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    rc = registry->Delete(globalKeyFields(type), key.record());
    if (rc != 0) return reportLibraryFailure(what, rc);
    return kExitOk;
}

int upgradeLevels(Invocation* inv, GlobalReg* registry, const std::string& path) {
    const std::string what = "upgrade the service levels in " + path;
    // A missing file has no records to bring up: not found, as for remove
    // (the library's scan would say only that it could not open it).
    if (!fileExists(path)) return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    uint64_t count = 0;
    EditLock lock(registry);
    unsigned rc = lock.take(*inv, path);
    if (rc == 0) rc = UpgradeServiceLevels(registry, &count);
    if (rc != 0) return reportLibraryFailure(what, rc);
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("file");
        json.string(path);
        json.key("changed");
        json.unsignedNumber(count);
        json.endObject();
        inv->out = json.finish();
    } else {
        inv->out = std::to_string(count) + (count == 1 ? " service record" : " service records") +
                   " changed\n";
    }
    return kExitOk;
}

int run(Invocation* inv) {
    std::string error;
    if (inv->words.empty())
        return reportUsage(kVerb, "give one of list, get, add, set, remove, path, upgrade-levels");
    if (const char* file = inv->value("file")) setEnvironment("QVR_GLOBAL_REG_PATHNAME", file);
    const std::string action = inv->words[0];

    char pathBuffer[GENREG_PATH_MAX + 1] = "";
    uint16_t length = sizeof pathBuffer;
    unsigned rc = GetGlobalRegPathName(pathBuffer, &length);
    if (rc != 0) return reportLibraryFailureAs("find the global registry file", rc, kExitFailed);
    const std::string path = pathBuffer;

    bool simple = action == "path" || action == "upgrade-levels" || action == "list";
    if (simple) {
        bool ok = checkWordCount(*inv, 1, 1, &error) &&
                  (action == "list"
                       ? checkOptions(*inv, {"file", "instances", "services", "variables"}, &error)
                   : action == "upgrade-levels"
                       ? checkOptions(*inv, {"file", "no-wait", "timeout"}, &error)
                       : checkOptions(*inv, {"file"}, &error));
        uint32_t waitMs = 0;
        ok = ok && editWaitOf(*inv, &waitMs, &error);
        if (!ok) return reportUsage(kVerb, error);
    } else if (action != "get" && action != "add" && action != "set" && action != "remove") {
        return reportUsage(kVerb, "unknown action '" + action + "'");
    }
    if (action == "path") {
        if (inv->json) {
            JsonWriter json;
            json.beginObject();
            json.key("path");
            json.string(path);
            json.endObject();
            inv->out = json.finish();
        } else {
            inv->out = path + "\n";
        }
        return kExitOk;
    }
    int status = refuseWrongKind(path, kKindGlobal, "a global registry file");
    if (status != kExitOk) return status;
    // The handle takes its path from the environment: a link there is
    // replaced by its target, so an edit keeps the link.
    std::string target = linkTargetPath(path);
    if (target != path) setEnvironment("QVR_GLOBAL_REG_PATHNAME", target);
    GlobalReg registry;
    if (action == "list") return list(inv, &registry, path);
    if (action == "upgrade-levels") return upgradeLevels(inv, &registry, path);

    uint32_t type = inv->words.size() > 1 ? globalTypeNamed(inv->words[1]) : 0;
    if (type == 0) return reportUsage(kVerb, "give the record type: instance, service or variable");
    if (action == "get") return get(inv, &registry, path, type);
    if (action == "remove") return remove(inv, &registry, path, type);
    return write(inv, &registry, path, type, action == "add");
}

}  // namespace

const VerbEntry kGlobalVerb = {kVerb, run, kOptions, kHelp};
