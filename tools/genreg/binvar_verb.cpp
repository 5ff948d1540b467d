// genreg binvar FILE list | get | add | set | remove: a binary file of
// 36-byte variable/value records through GenRegBinVarVal.
#include <genreg/binvarval.h>
#include <genreg/rc.h>

#include <cstring>

#include "args.h"
#include "cli.h"
#include "edit_lock.h"
#include "file_link.h"
#include "file_kind.h"
#include "output.h"
#include "record_text.h"
#include "set_compare.h"
#include "store.h"

namespace {

const char kVerb[] = "binvar";

const OptionRule kOptions[] = {
    {"comment", true}, {"all", false}, {"no-wait", false}, {"timeout", true}, {nullptr, false}};

const char kHelp[] =
    "usage: genreg binvar FILE list\n"
    "       genreg binvar FILE get NAME\n"
    "       genreg binvar FILE add NAME VALUE [--comment TEXT]\n"
    "       genreg binvar FILE set NAME VALUE [--comment TEXT]\n"
    "       genreg binvar FILE remove NAME [--all]\n"
    "\n"
    "A binary variable file holds records of a name (at most 15 characters), a\n"
    "signed 32-bit value and a comment (at most 15 characters). Names may repeat.\n"
    "  list    every record\n"
    "  get     the value of the first record named NAME\n"
    "  add     appends a record, also when NAME already has one\n"
    "  set     changes the value of every record named NAME, keeping its comment\n"
    "          unless --comment is given, or adds one\n"
    "  remove  removes the record named NAME; --all when several are\n"
    "Editing actions wait for the update lock while another edit of FILE runs,\n"
    "saying so after a second; --no-wait fails at once instead, --timeout SECONDS\n"
    "after that long (status 3, GENREG_RC_LOCKED).\n"
    "A file that is not made of 36-byte records (a text file, a global registry\n"
    "file, a damaged file) is refused by every action (status 3) and left as it is.\n"
    "A FILE that is a symbolic link edits the file it points to and stays a link.\n";

const size_t kTextMax = sizeof(BinVarValRecord::Variable) - 1;

BinVarValRecord keyFor(const std::string& name) {
    BinVarValRecord key{};
    std::strncpy(key.Variable, name.c_str(), sizeof key.Variable - 1);
    return key;
}

void printRecords(Invocation* inv, const std::string& path,
                  const std::vector<BinVarValRecord>& records) {
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("file");
        json.string(path);
        json.key("variables");
        json.beginArray();
        for (const BinVarValRecord& record : records) {
            json.beginObject();
            json.key("name");
            json.string(fieldText(record.Variable));
            json.key("value");
            json.number(record.Value);
            json.key("comment");
            std::string comment = fieldText(record.Comment);
            json.stringOrNull(comment.empty() ? nullptr : comment.c_str());
            json.endObject();
        }
        json.endArray();
        json.endObject();
        inv->out = json.finish();
        return;
    }
    Table table{{"NAME", "VALUE", "COMMENT"}, {}};
    for (const BinVarValRecord& record : records)
        table.addRow({fieldText(record.Variable), std::to_string(record.Value),
                      cellText(fieldText(record.Comment).c_str())});
    inv->out = table.render();
}

int list(Invocation* inv, GenRegBinVarVal* file, const std::string& path) {
    std::vector<BinVarValRecord> records;
    BinVarValRecord key{};
    unsigned rc = scanRecords(file, 0, &key,
                              [&](const BinVarValRecord& record) { records.push_back(record); });
    if (rc != 0) return reportLibraryFailure("list " + path, rc);
    printRecords(inv, path, records);
    return kExitOk;
}

int get(Invocation* inv, GenRegBinVarVal* file, const std::string& path, const std::string& name) {
    BinVarValRecord key = keyFor(name);
    BinVarValRecord found{};
    unsigned rc = file->Get(GENREG_BINVARVAL_VARIABLE, &key, &found);
    if (rc != 0) return reportLibraryFailure("get " + name + " in " + path, rc);
    if (inv->json) {
        JsonWriter json;
        json.beginObject();
        json.key("name");
        json.string(fieldText(found.Variable));
        json.key("value");
        json.number(found.Value);
        json.key("comment");
        std::string comment = fieldText(found.Comment);
        json.stringOrNull(comment.empty() ? nullptr : comment.c_str());
        json.endObject();
        inv->out = json.finish();
    } else {
        inv->out = std::to_string(found.Value) + "\n";
    }
    return kExitOk;
}

int write(Invocation* inv, GenRegBinVarVal* file, const std::string& path, bool add) {
    const std::string& name = inv->words[2];
    int32_t value = 0;
    if (name.empty() || name.size() > kTextMax)
        return reportUsage(kVerb, "a name has 1 to 15 characters");
    if (!isPlainText(name)) return reportUsage(kVerb, "a name cannot hold control characters");
    if (!parseInt32(inv->words[3].c_str(), &value))
        return reportUsage(kVerb, "a value is a signed 32-bit decimal number");
    const char* givenComment = inv->value("comment");
    if (givenComment && std::strlen(givenComment) > kTextMax)
        return reportUsage(kVerb, "a comment has at most 15 characters");
    if (givenComment && !isPlainText(givenComment))
        return reportUsage(kVerb, "a comment cannot hold control characters");

    std::string what = (add ? "add " + name + " to " : "set " + name + " in ") + path;
    EditLock lock(file);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    BinVarValRecord key = keyFor(name);
    BinVarValRecord old{};
    bool exists = false;
    if (!add && fileExists(path)) {
        rc = file->Get(GENREG_BINVARVAL_VARIABLE, &key, &old);
        if (rc != 0 && rc != GENREG_RC_NO_MATCH) return reportLibraryFailure(what, rc);
        exists = rc == 0;
    }
    BinVarValRecord record = keyFor(name);
    record.Value = value;
    if (givenComment) {
        std::strncpy(record.Comment, givenComment, sizeof record.Comment - 1);
    } else if (exists) {
        std::memcpy(record.Comment, old.Comment, sizeof record.Comment);
    }
    if (!exists) {
        rc = file->Add(GENREG_BINVARVAL_VARIABLE, &record);
    } else {
        // Only the records that differ from the record are rewritten (the
        // schema's equality covers the whole record); none differing means
        // every record named so already holds it.
        SetComparison comparison(file, &record, nullptr);
        rc = file->Change(GENREG_BINVARVAL_VARIABLE, &key, &record);
        if (rc == GENREG_RC_NO_MATCH) rc = 0;
    }
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    return kExitOk;
}

int remove(Invocation* inv, GenRegBinVarVal* file, const std::string& path,
           const std::string& name) {
    std::string what = "remove " + name + " from " + path;
    EditLock lock(file);
    unsigned rc = lock.take(*inv, path);
    if (rc != 0) return reportLibraryFailureAs(what, rc, kExitFailed);
    BinVarValRecord key = keyFor(name);
    return deleteMatching(file, GENREG_BINVARVAL_VARIABLE, &key, inv->has("all"), what,
                          "records have that name");
}

int run(Invocation* inv) {
    std::string error;
    if (inv->words.size() < 2)
        return reportUsage(kVerb, "give a FILE and one of list, get, add, set, remove");
    const std::string path = inv->words[0];
    const std::string action = inv->words[1];
    bool ok;
    bool reads = action == "list" || action == "get" || action == "remove";
    if (action == "list") {
        ok = checkWordCount(*inv, 2, 2, &error) && checkOptions(*inv, {}, &error);
    } else if (action == "get") {
        ok = checkWordCount(*inv, 3, 3, &error) && checkOptions(*inv, {}, &error);
    } else if (action == "add" || action == "set") {
        ok = checkWordCount(*inv, 4, 4, &error) &&
             checkOptions(*inv, {"comment", "no-wait", "timeout"}, &error);
    } else if (action == "remove") {
        ok = checkWordCount(*inv, 3, 3, &error) &&
             checkOptions(*inv, {"all", "no-wait", "timeout"}, &error);
    } else {
        return reportUsage(kVerb, "unknown action '" + action + "'");
    }
    uint32_t waitMs = 0;
    if (ok) ok = editWaitOf(*inv, &waitMs, &error);
    if (!ok) return reportUsage(kVerb, error);
    int status = refuseWrongKind(path, kKindBinVar, "a binary variable/value file");
    if (status != kExitOk) return status;

    unsigned rc = 0;
    GenRegBinVarVal file(linkTargetPath(path).c_str(), &rc);
    if (rc != 0) return reportLibraryFailureAs("open " + path, rc, kExitFailed);
    if (reads && !fileExists(path)) {
        std::string what = action == "list"  ? "list " + path
                           : action == "get" ? "get " + inv->words[2] + " in " + path
                                             : "remove " + inv->words[2] + " from " + path;
        return reportLibraryFailure(what, GENREG_RC_FILE_NOT_FOUND);
    }
    if (action == "list") return list(inv, &file, path);
    if (action == "get") return get(inv, &file, path, inv->words[2]);
    if (action == "add" || action == "set") return write(inv, &file, path, action == "add");
    return remove(inv, &file, path, inv->words[2]);
}

}  // namespace

const VerbEntry kBinVarVerb = {kVerb, run, kOptions, kHelp};
